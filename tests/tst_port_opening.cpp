// The port opening sequence on a real pseudo-terminal, the device table and
// the status text.

#include "link/port_opening.h"
#include "settings/port_settings.h"
#include "tests/support/pseudo_terminal.h"

#include <QSerialPort>
#include <QtTest>

#include <termios.h>

using vf::DeviceNaming;
using vf::kKindRs232c;
using vf::kKindUsbConverter;

class PortOpeningTest : public QObject {
  Q_OBJECT
 private slots:
  void deviceTableAndStatusText() {
    QCOMPARE(vf::deviceNameFor(16, kKindRs232c, DeviceNaming::Linux), QStringLiteral("/dev/ttyS15"));
    QCOMPARE(vf::deviceNameFor(5, kKindUsbConverter, DeviceNaming::Linux), QStringLiteral("/dev/ttyUSB4"));
    QCOMPARE(vf::deviceNameFor(3, kKindUsbConverter, DeviceNaming::Windows), QStringLiteral("COM3"));
    for (const DeviceNaming naming : {DeviceNaming::Linux, DeviceNaming::Windows})
      for (const int outside : {0, 17, -1}) QCOMPARE(vf::deviceNameFor(outside, kKindRs232c, naming), QString());
    QCOMPARE(vf::openPortStatusText(1, kKindRs232c), QStringLiteral("オープン CommPort=1 Settings=19200,N,8,1 RS-232C"));
    QCOMPARE(vf::openPortStatusText(3, kKindUsbConverter), QStringLiteral("オープン CommPort=3 Settings=19200,N,8,1 USB変換"));
  }

  void opensAPseudoTerminalWithTheLineSettings() {
    PseudoTerminal pty;
    QVERIFY(pty.isValid());
    QSerialPort port;
    QSignalSpy errors(&port, &QSerialPort::errorOccurred);
    for (int round = 0; round < 2; ++round) {  // opening again closes first and opens afresh
      const vf::PortOpenResult result = vf::openSerialPort(port, 3, kKindRs232c, pty.path());
      QVERIFY2(result.open, qPrintable(result.error));
      QCOMPARE(result.device, pty.path());
      QCOMPARE(port.openMode(), QIODevice::ReadWrite);
    }
    QCOMPARE(errors.count(), 0);  // the refused RTS is neither a failure nor a port event

    termios t{};
    QCOMPARE(::tcgetattr(port.handle(), &t), 0);
    QCOMPARE(::cfgetospeed(&t), speed_t(B19200));
    QCOMPARE(t.c_cflag & CSIZE, tcflag_t(CS8));
    QCOMPARE(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), tcflag_t(0));
    QCOMPARE(t.c_iflag & (IXON | IXOFF | ICRNL | ISTRIP), tcflag_t(0));
    QCOMPARE(t.c_oflag & OPOST, tcflag_t(0));
    QCOMPARE(t.c_lflag & (ICANON | ECHO), tcflag_t(0));

    const QByteArray out("\x00\x0D\x0A\x11\x13\xEF\xFF", 7);  // raw bytes both ways
    QCOMPARE(port.write(out), qint64(out.size()));
    QVERIFY(port.waitForBytesWritten(2000));
    QCOMPARE(pty.readExactly(out.size()), out);
    QVERIFY(pty.write(out));
    QByteArray in;
    while (in.size() < out.size() && port.waitForReadyRead(2000)) in += port.readAll();
    QCOMPARE(in, out);
  }

  void aFailedOpenLeavesThePortClosed() {
    PseudoTerminal pty;
    QSerialPort port;
    QVERIFY(vf::openSerialPort(port, 1, kKindRs232c, pty.path()).open);
    QSignalSpy errors(&port, &QSerialPort::errorOccurred);
    const QString missing = QStringLiteral("/dev/vf3360-no-such-device");
    const vf::PortOpenResult result = vf::openSerialPort(port, 1, kKindRs232c, missing);
    QVERIFY(!result.open);
    QVERIFY(!port.isOpen());
    QCOMPARE(result.device, missing);
    QVERIFY(!result.error.isEmpty());
    QCOMPARE(errors.count(), 0);
    QVERIFY(!vf::openSerialPort(port, 0, kKindRs232c).open);  // no port number, no device
  }

  void portNumberNamesTheDevice() {
    const QString device = vf::deviceNameFor(16, kKindUsbConverter);
    if (QFile::exists(device)) QSKIP("this machine has a converter at that device");
    QSerialPort port;
    QCOMPARE(vf::openSerialPort(port, 16, kKindUsbConverter).device, device);
  }
};

QTEST_GUILESS_MAIN(PortOpeningTest)
#include "tst_port_opening.moc"
