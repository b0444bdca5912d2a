#pragma once

#include "link/module_link.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QString>

#include <optional>

namespace vf {

// The module's port as the tools name it: --device PATH, or --port N [--usb]
// numbered as the program numbers its ports.
struct ModulePort {
  QString device;   // --device: this device, whatever the number and kind
  int portNum = 0;  // --port: 1 .. 16
  ConnectionKind kind = ConnectionKind::Rs232c;

  // The namer ModuleLink::open uses: PATH for --device, the numbered device otherwise.
  ModuleLink::DeviceNamer namer() const;
  // What open(portNum, kind) opens with that namer.
  QString deviceName() const;
};

// The options as given, from a command line or a settings file.
struct PortOptionValues {
  std::optional<QString> device;
  bool deviceRepeated = false;  // --device more than once
  std::optional<QString> port;
  bool usb = false;

  bool any() const { return device || port || usb; }
};

// --device, --port and --usb as every tool spells them.
struct PortOptions {
  QCommandLineOption device{QStringLiteral("device"),
                            QStringLiteral("The module's serial device (/dev/ttyACM0, COM3, ...)."),
                            QStringLiteral("PATH")};
  QCommandLineOption port{QStringLiteral("port"),
                          QStringLiteral("Port N (1 .. 16) as the program numbers them: RS-232C unless --usb."),
                          QStringLiteral("N")};
  QCommandLineOption usb{QStringLiteral("usb"), QStringLiteral("--port N is USB-serial converter port N.")};

  void addTo(QCommandLineParser &parser) const { parser.addOptions({device, port, usb}); }
  PortOptionValues valuesFrom(const QCommandLineParser &parser) const;
  // --device alone, for a program that takes only that one.
  PortOptionValues deviceFrom(const QCommandLineParser &parser) const;
};

// The port the values name. Neither --device nor --port is left to the
// caller (a tool may have another destination); anything else wrong comes
// back as the reason, in the options' own words.
std::optional<ModulePort> readModulePort(const PortOptionValues &values, QString *why);

}  // namespace vf
