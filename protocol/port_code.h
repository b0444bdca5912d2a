#pragma once

#include <QString>

namespace vf {

// How the module is attached: a built-in RS-232C port or a USB-serial
// converter ("USB変換"). The values are those portnum.ini uses.
enum class ConnectionKind { Rs232c = 0, UsbConverter = 1 };

inline constexpr int kMaxPortNumber = 16;
inline constexpr int kMaxPortCode = 32;  // 1 .. 16 RS-232C, 17 .. 32 converter

// Port number and kind named by a port code.
struct PortChoice {
  int portNum = 0;
  ConnectionKind kind = ConnectionKind::Rs232c;
};

// A code above 16 names converter port code - 16, any other RS-232C port code.
PortChoice decodePortCode(int code);

// The line that stores a choice: "1" .. "16" for RS-232C, "17" .. "32" for the
// converter. A port number outside 1 .. 16 stores no port: an empty line.
QString portCodeLine(int portNum, ConnectionKind kind);

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
QString deviceNameFor(int portNum, ConnectionKind kind, DeviceNaming naming = DeviceNaming::Native);

// The fixed line settings, in the usual short form.
inline const QString kLineSettings = QStringLiteral("19200,N,8,1");

}  // namespace vf
