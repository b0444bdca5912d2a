#include "link/port_opening.h"

#include "settings/port_settings.h"

#include <QSerialPort>
#include <QSignalBlocker>

namespace vf {

QString deviceNameFor(int portNum, int portKind, DeviceNaming naming) {
  if (portNum < 1 || portNum > kMaxPortNumber) return {};
  if (naming == DeviceNaming::Windows) return QStringLiteral("COM%1").arg(portNum);
  return (portKind == kKindUsbConverter ? QStringLiteral("/dev/ttyUSB%1") : QStringLiteral("/dev/ttyS%1"))
      .arg(portNum - 1);
}

QString openPortStatusText(int portNum, int portKind) {
  return QStringLiteral("オープン CommPort=") + QString::number(portNum) + QStringLiteral(" Settings=") +
         kLineSettings + u' ' + (portKind == kKindUsbConverter ? QStringLiteral("USB変換") : QStringLiteral("RS-232C"));
}

PortOpenResult openSerialPort(QSerialPort &port, int portNum, int portKind, const QString &deviceOverride) {
  // Closing is announced as usual (a receive handler drops what it gathered);
  // the signals are held back only while the port is being set up.
  if (port.isOpen()) port.close();
  const QSignalBlocker quiet(port);

  PortOpenResult result;
  result.device = deviceOverride.isEmpty() ? deviceNameFor(portNum, portKind) : deviceOverride;
  if (result.device.isEmpty()) {
    result.error = QStringLiteral("no port number (1 .. 16) chosen");
    return result;
  }
  port.setPortName(result.device);
  port.setBaudRate(QSerialPort::Baud19200);
  port.setParity(QSerialPort::NoParity);
  port.setDataBits(QSerialPort::Data8);
  port.setStopBits(QSerialPort::OneStop);
  port.setFlowControl(QSerialPort::NoFlowControl);

  if (!port.open(QIODevice::ReadWrite)) {
    result.error = port.errorString();
    port.clearError();
    return result;
  }
  // RTS off. Devices without modem lines refuse this; the port is open all the same.
  if (!port.setRequestToSend(false)) port.clearError();

  result.open = port.isOpen();
  if (!result.open) result.error = port.errorString();
  return result;
}

}  // namespace vf
