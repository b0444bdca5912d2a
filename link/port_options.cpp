#include "link/port_options.h"

namespace vf {

ModuleLink::DeviceNamer ModulePort::namer() const {
  if (device.isEmpty()) return {};
  return [path = device](int, ConnectionKind) { return path; };
}

QString ModulePort::deviceName() const { return device.isEmpty() ? deviceNameFor(portNum, kind) : device; }

PortOptionValues PortOptions::deviceFrom(const QCommandLineParser &parser) const {
  PortOptionValues values;
  const QStringList devices = parser.values(device);
  if (!devices.isEmpty()) values.device = devices.last();
  values.deviceRepeated = devices.size() > 1;
  return values;
}

PortOptionValues PortOptions::valuesFrom(const QCommandLineParser &parser) const {
  PortOptionValues values = deviceFrom(parser);
  if (parser.isSet(port)) values.port = parser.value(port);
  values.usb = parser.isSet(usb);
  return values;
}

std::optional<ModulePort> readModulePort(const PortOptionValues &values, QString *why) {
  const auto fail = [why](const QString &reason) {
    *why = reason;
    return std::nullopt;
  };
  if (values.device && values.port) return fail(QStringLiteral("give either --device or --port, not both"));
  if (values.usb && !values.port) return fail(QStringLiteral("--usb belongs to --port"));
  ModulePort chosen;
  if (values.device) {
    if (values.deviceRepeated) return fail(QStringLiteral("give --device only once"));
    if (values.device->isEmpty()) return fail(QStringLiteral("--device needs a path"));
    chosen.device = *values.device;
  }
  if (values.port) {
    bool ok = false;
    chosen.portNum = values.port->toInt(&ok);
    if (!ok || chosen.portNum < 1 || chosen.portNum > kMaxPortNumber) {
      return fail(QStringLiteral("--port takes a number from 1 to 16, not \"%1\"").arg(*values.port));
    }
    chosen.kind = values.usb ? ConnectionKind::UsbConverter : ConnectionKind::Rs232c;
  }
  return chosen;
}

}  // namespace vf
