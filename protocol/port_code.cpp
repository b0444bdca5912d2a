#include "protocol/port_code.h"

namespace vf {

PortChoice decodePortCode(int code) {
  if (code > kMaxPortNumber) return {code - kMaxPortNumber, ConnectionKind::UsbConverter};
  return {code, ConnectionKind::Rs232c};
}

QString portCodeLine(int portNum, ConnectionKind kind) {
  // Only a real port number gives a code: a converter "port 0" would
  // otherwise be stored as 16, RS-232C port 16.
  if (portNum < 1 || portNum > kMaxPortNumber) return {};
  return QString::number(kind == ConnectionKind::UsbConverter ? portNum + kMaxPortNumber : portNum);
}

QString deviceNameFor(int portNum, ConnectionKind kind, DeviceNaming naming) {
  if (portNum < 1 || portNum > kMaxPortNumber) return {};
  if (naming == DeviceNaming::Windows) return QStringLiteral("COM%1").arg(portNum);
  return (kind == ConnectionKind::UsbConverter ? QStringLiteral("/dev/ttyUSB%1") : QStringLiteral("/dev/ttyS%1"))
      .arg(portNum - 1);
}

}  // namespace vf
