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
  void deviceTable() {
    QCOMPARE(vf::deviceNameFor(1, kKindRs232c, DeviceNaming::Linux), QStringLiteral("/dev/ttyS0"));
    QCOMPARE(vf::deviceNameFor(16, kKindRs232c, DeviceNaming::Linux), QStringLiteral("/dev/ttyS15"));
    QCOMPARE(vf::deviceNameFor(1, kKindUsbConverter, DeviceNaming::Linux), QStringLiteral("/dev/ttyUSB0"));
    QCOMPARE(vf::deviceNameFor(5, kKindUsbConverter, DeviceNaming::Linux), QStringLiteral("/dev/ttyUSB4"));
    QCOMPARE(vf::deviceNameFor(1, kKindRs232c, DeviceNaming::Windows), QStringLiteral("COM1"));
    QCOMPARE(vf::deviceNameFor(16, kKindRs232c, DeviceNaming::Windows), QStringLiteral("COM16"));
    QCOMPARE(vf::deviceNameFor(3, kKindUsbConverter, DeviceNaming::Windows), QStringLiteral("COM3"));
    for (const DeviceNaming naming : {DeviceNaming::Linux, DeviceNaming::Windows}) {
      QCOMPARE(vf::deviceNameFor(0, kKindRs232c, naming), QString());
      QCOMPARE(vf::deviceNameFor(17, kKindUsbConverter, naming), QString());
      QCOMPARE(vf::deviceNameFor(-1, kKindRs232c, naming), QString());
    }
  }

  void statusText() {
    QCOMPARE(vf::openPortStatusText(1, kKindRs232c), QStringLiteral("オープン CommPort=1 Settings=19200,N,8,1 RS-232C"));
    QCOMPARE(vf::openPortStatusText(3, kKindUsbConverter),
             QStringLiteral("オープン CommPort=3 Settings=19200,N,8,1 USB変換"));
    QCOMPARE(vf::openPortStatusText(16, kKindRs232c), QStringLiteral("オープン CommPort=16 Settings=19200,N,8,1 RS-232C"));
    QCOMPARE(vf::kPortClosedText, QStringLiteral("ポートクローズ"));
  }

  void opensAPseudoTerminalWithTheLineSettings() {
    PseudoTerminal pty;
    QVERIFY(pty.isValid());
    QSerialPort port;
    QSignalSpy errors(&port, &QSerialPort::errorOccurred);

    const vf::PortOpenResult result = vf::openSerialPort(port, 3, kKindRs232c, pty.path());
    QVERIFY2(result.open, qPrintable(result.error));
    QVERIFY(result.error.isEmpty());
    QCOMPARE(result.device, pty.path());
    QVERIFY(port.isOpen());
    QCOMPARE(port.openMode(), QIODevice::ReadWrite);
    // The pseudo-terminal refuses RTS; that is neither a failure nor a port event.
    QCOMPARE(port.error(), QSerialPort::NoError);
    QCOMPARE(errors.count(), 0);

    // What the terminal itself was set to.
    termios t{};
    QCOMPARE(::tcgetattr(port.handle(), &t), 0);
    QCOMPARE(::cfgetospeed(&t), speed_t(B19200));
    QCOMPARE(::cfgetispeed(&t), speed_t(B19200));
    QCOMPARE(t.c_cflag & CSIZE, tcflag_t(CS8));
    QCOMPARE(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), tcflag_t(0));
    QCOMPARE(t.c_iflag & (IXON | IXOFF | ICRNL | ISTRIP), tcflag_t(0));
    QCOMPARE(t.c_oflag & OPOST, tcflag_t(0));
    QCOMPARE(t.c_lflag & (ICANON | ECHO), tcflag_t(0));

    // Raw bytes both ways.
    const QByteArray out("\x00\x0D\x0A\x11\x13\xEF\xFF", 7);
    QCOMPARE(port.write(out), qint64(out.size()));
    QVERIFY(port.waitForBytesWritten(2000));
    QCOMPARE(pty.readExactly(out.size()), out);
    QVERIFY(pty.write(QByteArray("\x11\x22\xC0\x00", 4)));
    QByteArray in;
    while (in.size() < 4 && port.waitForReadyRead(2000)) in += port.readAll();
    QCOMPARE(in, QByteArray("\x11\x22\xC0\x00", 4));

    // Opening again closes first and opens afresh.
    const vf::PortOpenResult again = vf::openSerialPort(port, 3, kKindRs232c, pty.path());
    QVERIFY2(again.open, qPrintable(again.error));
    QVERIFY(port.isOpen());
  }

  void missingDeviceIsNotOpen() {
    QSerialPort port;
    QSignalSpy errors(&port, &QSerialPort::errorOccurred);
    const QString missing = QStringLiteral("/dev/vf3360-no-such-device");
    const vf::PortOpenResult result = vf::openSerialPort(port, 1, kKindRs232c, missing);
    QVERIFY(!result.open);
    QVERIFY(!port.isOpen());
    QCOMPARE(result.device, missing);
    QVERIFY(!result.error.isEmpty());
    QCOMPARE(errors.count(), 0);

    // No port number and no device: nothing to open.
    const vf::PortOpenResult none = vf::openSerialPort(port, 0, kKindRs232c);
    QVERIFY(!none.open);
    QVERIFY(none.device.isEmpty());
    QVERIFY(!none.error.isEmpty());
  }

  void portNumberNamesTheDevice() {
    const QString device = vf::deviceNameFor(16, kKindUsbConverter);
    if (QFile::exists(device)) QSKIP("this machine has a converter at that device");
    QSerialPort port;
    const vf::PortOpenResult result = vf::openSerialPort(port, 16, kKindUsbConverter);
    QCOMPARE(result.device, device);
    QVERIFY(!result.open);
    QVERIFY(!port.isOpen());
  }

  void aFailedOpenLeavesAnOpenPortClosed() {
    PseudoTerminal pty;
    QSerialPort port;
    QVERIFY(vf::openSerialPort(port, 1, kKindRs232c, pty.path()).open);
    QVERIFY(!vf::openSerialPort(port, 1, kKindRs232c, QStringLiteral("/dev/vf3360-no-such-device")).open);
    QVERIFY(!port.isOpen());
  }
};

QTEST_GUILESS_MAIN(PortOpeningTest)
#include "tst_port_opening.moc"
