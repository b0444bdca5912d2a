// vf3360-send on a real pseudo-terminal: the line carries exactly the bytes
// --hex prints, all of them, before the tool ends; ports that cannot be
// opened; the usage errors of the port options.

#include "link/port_opening.h"
#include "settings/port_settings.h"
#include "tests/support/pseudo_terminal.h"

#include <QtTest>

namespace {

// Runs the tool to its end: exit status, standard output, standard error.
std::tuple<int, QByteArray, QString> runTool(const QStringList &args) {
  QProcess p;
  p.start(QStringLiteral(VF3360_SEND_PATH), args);
  p.closeWriteChannel();
  if (!p.waitForFinished(30000)) return {-1, {}, {}};
  return {p.exitCode(), p.readAllStandardOutput(), QString::fromUtf8(p.readAllStandardError())};
}

}  // namespace

class SendToolPortTest : public QObject {
  Q_OBJECT
 private slots:
  void sendsExactlyTheHexBytes_data() {
    QTest::addColumn<QStringList>("args");
    QTest::newRow("one frame") << QStringList{"--speed", "2", "あ"};
    QTest::newRow("sixteen frames") << QStringList{QString(2033, u'字')};
    QTest::newRow("display clear") << QStringList{"--clear"};
    QTest::newRow("data cue") << QStringList{"--rewind"};
    QTest::newRow("unusable character, sent all the same") << QStringList{"あ😀"};
  }
  void sendsExactlyTheHexBytes() {
    QFETCH(QStringList, args);
    const auto [status, hex, _] = runTool(QStringList{"--hex"} + args);
    const QByteArray expected = QByteArray::fromHex(hex);  // skips the blanks and line ends
    QVERIFY(expected.size() >= 7);

    PseudoTerminal pty;
    QVERIFY(pty.isValid());
    QProcess tool;
    tool.start(QStringLiteral(VF3360_SEND_PATH), QStringList{"--device", pty.path()} + args);
    // What fits the line's buffer is read only after the tool has ended: every
    // byte must have been handed to the line before it exits.
    if (expected.size() < 4096) QVERIFY(tool.waitForFinished(30000));
    QCOMPARE(pty.readExactly(expected.size(), 30000), expected);
    QVERIFY(tool.state() == QProcess::NotRunning || tool.waitForFinished(30000));
    QCOMPARE(tool.exitCode(), status);
    QVERIFY(tool.readAllStandardOutput().isEmpty());
    QCOMPARE(pty.readFor(200), QByteArray());
  }

  void portFailures_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("device");  // named in the message; empty: the port is not tried
    const QString missing = QStringLiteral("/dev/vf3360-no-such-device");
    QTest::newRow("no such device") << QStringList{"--device", missing, "あ"} << 1 << missing;
    QTest::newRow("nothing to send") << QStringList{"--device", missing} << 4 << QString();
    QTest::newRow("--port N --usb from the program's table")
        << QStringList{"--port", "16", "--usb", "--clear"} << 1 << vf::deviceNameFor(16, vf::kKindUsbConverter);
  }
  void portFailures() {
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, device);
    if (!device.isEmpty() && QFile::exists(device)) QSKIP("this machine has that device");
    const auto [status, out, err] = runTool(args);
    QCOMPARE(status, exitCode);
    const QString opening = "vf3360-send: cannot open " + device + ": ";
    if (device.isEmpty()) QVERIFY2(!err.contains("/dev/"), qPrintable(err));
    else QVERIFY2(err.startsWith(opening) && err.trimmed().size() > opening.size(), qPrintable(err));
  }

  void badUsage_data() {
    QTest::addColumn<QStringList>("args");
    QTest::newRow("hex and device") << QStringList{"--hex", "--device", "/dev/null", "a"};
    QTest::newRow("port 17") << QStringList{"--port", "17", "a"};
    QTest::newRow("usb without port") << QStringList{"--hex", "--usb", "a"};
    QTest::newRow("clear with text") << QStringList{"--hex", "--clear", "a"};
  }
  void badUsage() {
    QFETCH(QStringList, args);
    const auto [status, out, err] = runTool(args);
    QCOMPARE(status, 2);
    QVERIFY(err.startsWith("vf3360-send: "));
    QVERIFY(out.isEmpty());
  }
};

QTEST_GUILESS_MAIN(SendToolPortTest)
#include "tst_send_tool_port.moc"
