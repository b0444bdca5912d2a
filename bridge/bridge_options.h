#pragma once

#include "bridge/display_bridge.h"

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <optional>

namespace vf {

// The bridge's settings from its command line and, with --config FILE, from
// a settings file with the same keys, one "key = value" a line ("#" or ";"
// starts a comment, "group" may come more than once):
//
//   name, group, device, port, usb (yes/no), broker, username, cafile
//
// The command line wins: a key it gives replaces the file's (the module's
// port as a whole: --device, --port and --usb together). The password comes
// from the environment variable VF3360_MQTT_PASSWORD only.
struct BridgeOptions {
  std::optional<BridgeSettings> settings;
  QString error;     // why there are no settings
  bool help = false; // --help or --version: helpText is all there is to do
  QString helpText;
  bool check = false; // --check: show the settings, do not start
};

inline constexpr char kPasswordVariable[] = "VF3360_MQTT_PASSWORD";

BridgeOptions readBridgeOptions(const QStringList &arguments, const QProcessEnvironment &environment);

// The settings as --check shows them, one "key: value" a line; the password
// only as whether there is one.
QString describeSettings(const BridgeSettings &settings);

// Letters, digits, "-" and "_", as display and group names are made.
bool isValidName(const QString &name);

}  // namespace vf
