// vf3360-bridge: one module's serial line driven through an MQTT broker.
//
//   vf3360-bridge --name NAME [--group G ...] (--device PATH | --port N [--usb])
//                 [--broker HOST[:PORT]] [--username NAME] [--cafile FILE] [--config FILE] [--check]
//
// Runs until SIGTERM, SIGINT or SIGHUP, then publishes "offline", lets the
// message on the line finish and ends with status 0 within 5 s. Exit status 2:
// bad usage or settings; 1: the bridge could not start; 3: the broker refuses
// its user name, password or client id, or all of its text topics. --check shows the settings as they
// would be used and ends with 0.

#include "bridge/bridge_options.h"
#include "bridge/display_bridge.h"
#include "tools/stop_signals.h"

#include <QCoreApplication>

#include <iostream>

namespace {
constexpr int kRefused = 3;  // the broker will not have this display as configured
}

int main(int argc, char *argv[]) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("vf3360-bridge"));
  QCoreApplication::setApplicationVersion(QStringLiteral(VF_VERSION));

  const vf::BridgeOptions options =
      vf::readBridgeOptions(QCoreApplication::arguments(), QProcessEnvironment::systemEnvironment());
  if (options.help) {
    std::cout << options.helpText.toStdString();
    return 0;
  }
  if (!options.settings) {
    std::cerr << "vf3360-bridge: " << options.error.toStdString() << "\n"
              << "usage: vf3360-bridge --name NAME [--group G ...] (--device PATH | --port N [--usb])\n"
                 "                     [--broker HOST[:PORT]] [--username NAME] [--cafile FILE] [--config FILE] [--check]\n";
    return 2;
  }
  if (options.check) {
    std::cout << vf::describeSettings(*options.settings).toStdString();
    return 0;
  }

  vf::DisplayBridge bridge(*options.settings);
  vf::StopSignals stopSignals;
  QObject::connect(&stopSignals, &vf::StopSignals::received, &bridge, &vf::DisplayBridge::stop);
  QObject::connect(&bridge, &vf::DisplayBridge::finished, &app, [] { QCoreApplication::exit(0); });
  QObject::connect(&bridge, &vf::DisplayBridge::refused, &app, [] { QCoreApplication::exit(kRefused); });
  if (const QString failure = bridge.start(); !failure.isEmpty()) {
    std::cerr << "vf3360-bridge: " << failure.toStdString() << "\n";
    return 1;
  }
  return QCoreApplication::exec();
}
