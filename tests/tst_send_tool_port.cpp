// vf3360-send on a real pseudo-terminal: the bytes on the line are exactly
// those --hex prints, all of them, in order; the two commands alone; ports
// that cannot be opened; the new options' usage errors.

#include "link/port_opening.h"
#include "settings/port_settings.h"
#include "tests/support/pseudo_terminal.h"

#include <QtTest>

namespace {

struct ToolRun {
  int exitCode = -1;
  QByteArray out;
  QString err;
};

ToolRun runTool(const QStringList &args) {
  QProcess p;
  p.start(QStringLiteral(VF3360_SEND_PATH), args);
  p.closeWriteChannel();
  if (!p.waitForFinished(30000)) return {};
  return {p.exitCode(), p.readAllStandardOutput(), QString::fromUtf8(p.readAllStandardError())};
}

// The bytes of the writes that --hex prints, one write per line.
QByteArray bytesOfHexLines(const QByteArray &hexOutput) {
  QByteArray bytes;
  for (const QByteArray &line : hexOutput.split('\n')) {
    if (!line.isEmpty()) bytes += QByteArray::fromHex(line);
  }
  return bytes;
}

// A long text of mixed characters: 16 frames.
QString longText() {
  const QString pattern = QStringLiteral("漢字かなカナABCabc123ｱｲｳ　、。");
  QString text;
  while (text.size() < 2033) text += pattern;
  text.truncate(2033);
  return text;
}

}  // namespace

class SendToolPortTest : public QObject {
  Q_OBJECT
 private slots:
  void sendsExactlyTheHexBytes() {
    const ToolRun hex = runTool({"--hex", "--speed", "2", "あ"});
    QCOMPARE(hex.exitCode, 0);
    const QByteArray expected = bytesOfHexLines(hex.out);
    QCOMPARE(expected.size(), 14 + 262);

    PseudoTerminal pty;
    QVERIFY(pty.isValid());
    // The far end is read only after the tool has ended: every byte must have
    // been handed to the line before it exits.
    const ToolRun sent = runTool({"--device", pty.path(), "--speed", "2", "あ"});
    QCOMPARE(sent.exitCode, 0);
    QVERIFY2(sent.err.isEmpty(), qPrintable(sent.err));
    QVERIFY(sent.out.isEmpty());
    QCOMPARE(pty.readExactly(expected.size()), expected);
    QCOMPARE(pty.readFor(200), QByteArray());
  }

  void sendsALongMessageWhole() {
    const ToolRun hex = runTool({"--hex", longText()});
    QCOMPARE(hex.exitCode, 0);
    const QByteArray expected = bytesOfHexLines(hex.out);
    QCOMPARE(expected.size(), 14 + 16 * 262);

    PseudoTerminal pty;
    QProcess tool;
    tool.start(QStringLiteral(VF3360_SEND_PATH), {"--device", pty.path(), longText()});
    QVERIFY(tool.waitForStarted());
    const QByteArray got = pty.readExactly(expected.size(), 30000);
    QVERIFY(tool.waitForFinished(30000));
    QCOMPARE(tool.exitCode(), 0);
    QCOMPARE(got.size(), expected.size());
    QCOMPARE(got, expected);
    QCOMPARE(pty.readFor(200), QByteArray());
  }

  void commandsAlone() {
    const struct {
      const char *option;
      QByteArray bytes;
    } cases[] = {
        {"--clear", QByteArray::fromHex("000014000014EF")},
        {"--rewind", QByteArray::fromHex("000018000018EF")},
    };
    for (const auto &c : cases) {
      const ToolRun hex = runTool({"--hex", c.option});
      QCOMPARE(hex.exitCode, 0);
      QCOMPARE(bytesOfHexLines(hex.out), c.bytes);
      QCOMPARE(hex.out.count('\n'), 1);

      PseudoTerminal pty;
      const ToolRun sent = runTool({c.option, "--device", pty.path()});
      QCOMPARE(sent.exitCode, 0);
      QCOMPARE(pty.readExactly(c.bytes.size()), c.bytes);
      QCOMPARE(pty.readFor(200), QByteArray());
    }
  }

  void unusableCharacterIsStillSent() {
    PseudoTerminal pty;
    const ToolRun sent = runTool({"--device", pty.path(), "あ😀"});
    QCOMPARE(sent.exitCode, 5);
    QCOMPARE(sent.err.trimmed(), QStringLiteral("使用不可能な文字が含まれています"));
    QCOMPARE(pty.readExactly(14 + 262).size(), 14 + 262);
  }

  void textErrorsOpenNoPort() {
    // Nothing to send: the port is not even tried.
    const ToolRun empty = runTool({"--device", "/dev/vf3360-no-such-device"});
    QCOMPARE(empty.exitCode, 4);
    QVERIFY(!empty.err.contains("/dev/vf3360-no-such-device"));
  }

  void unopenablePort() {
    const ToolRun missing = runTool({"--device", "/dev/vf3360-no-such-device", "あ"});
    QCOMPARE(missing.exitCode, 1);
    QVERIFY2(missing.err.startsWith("vf3360-send: cannot open /dev/vf3360-no-such-device: "), qPrintable(missing.err));
    QVERIFY(missing.err.trimmed().size() > QStringLiteral("vf3360-send: cannot open /dev/vf3360-no-such-device: ").size());

    // --port uses the program's table.
    const QString device = vf::deviceNameFor(16, vf::kKindUsbConverter);
    if (QFile::exists(device)) QSKIP("this machine has a converter at that device");
    const ToolRun converter = runTool({"--port", "16", "--usb", "--clear"});
    QCOMPARE(converter.exitCode, 1);
    QVERIFY2(converter.err.contains("cannot open " + device + ": "), qPrintable(converter.err));
  }

  void badUsage_data() {
    QTest::addColumn<QStringList>("args");
    QTest::newRow("no destination") << QStringList{"a"};
    QTest::newRow("hex and device") << QStringList{"--hex", "--device", "/dev/null", "a"};
    QTest::newRow("port 0") << QStringList{"--port", "0", "a"};
    QTest::newRow("port 17") << QStringList{"--port", "17", "a"};
    QTest::newRow("usb without port") << QStringList{"--hex", "--usb", "a"};
    QTest::newRow("clear and rewind") << QStringList{"--hex", "--clear", "--rewind"};
    QTest::newRow("clear with text") << QStringList{"--hex", "--clear", "a"};
    QTest::newRow("rewind with file") << QStringList{"--hex", "--rewind", "--file", "x.txt"};
  }
  void badUsage() {
    QFETCH(QStringList, args);
    const ToolRun r = runTool(args);
    QCOMPARE(r.exitCode, 2);
    QVERIFY(r.err.startsWith("vf3360-send: "));
    QVERIFY(r.out.isEmpty());
  }
};

QTEST_GUILESS_MAIN(SendToolPortTest)
#include "tst_send_tool_port.moc"
