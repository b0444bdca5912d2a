#pragma once

#include <QString>

class QSerialPort;

namespace vf {

// How port numbers name serial devices.
enum class DeviceNaming {
  Linux,    // RS-232C port N: /dev/ttyS<N-1>; converter port N: /dev/ttyUSB<N-1>
  Windows,  // COM<N> for both kinds
#ifdef Q_OS_WIN
  Native = Windows,
#else
  Native = Linux,
#endif
};

// The device of port number 1 .. 16 of the given kind; empty for any other number.
QString deviceNameFor(int portNum, int portKind, DeviceNaming naming = DeviceNaming::Native);

// The fixed line settings, as the status text shows them.
inline const QString kLineSettings = QStringLiteral("19200,N,8,1");

// Label13 before any port has been opened.
inline const QString kPortClosedText = QStringLiteral("ポートクローズ");

// Label13 after a successful open: "オープン CommPort=3 Settings=19200,N,8,1 USB変換".
QString openPortStatusText(int portNum, int portKind);

struct PortOpenResult {
  bool open = false;  // read back from the port
  QString device;     // the device that was tried
  QString error;      // why it did not open (empty when open)
};

// The port opening sequence: names the device (deviceOverride when given,
// else the device of portNum and portKind), sets 19200 baud, no parity, 8 data
// bits, 1 stop bit and no flow control, opens it for reading and writing and
// switches RTS off. A port that cannot set modem lines (a pseudo-terminal) is
// still open. The port is closed first if it was open. The sequence's own
// errors are not passed on as port events: the port's signals are held back
// while it sets up and opens the port.
PortOpenResult openSerialPort(QSerialPort &port, int portNum, int portKind, const QString &deviceOverride = {});

}  // namespace vf
