// The vf3360-send command line: text sources, --hex output, exit statuses.

#include <QtTest>

namespace {

struct ToolRun {
  int exitCode = -1;
  QString out;
  QString err;
};

ToolRun runTool(const QStringList &args, const QByteArray &input = {}) {
  QProcess p;
  p.start(QStringLiteral(VF3360_SEND_PATH), args);
  p.write(input);
  p.closeWriteChannel();
  if (!p.waitForFinished(30000)) return {};
  return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
}

const QString kExamplePacket = "00 01 00 00 8B 02 06 " + QStringLiteral("81 04 ").repeated(14) +
                               QStringLiteral("FF ").repeated(224) + "E6 FA EF";

}  // namespace

class SendToolTest : public QObject {
  Q_OBJECT
 private slots:
  void hexOfTheWorkedExample() {
    const ToolRun r = runTool({"--hex", "あ"});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, "00 00 25 00 00 25 EF\n00 00 04 01 00 05 EF\n" + kExamplePacket + "\n");
    QVERIFY(r.err.isEmpty());
  }

  void textSourcesAgree() {
    QTemporaryDir dir;
    const QString utf8Path = dir.filePath("utf8.txt");
    const QString sjisPath = dir.filePath("sjis.txt");
    {
      QFile f(utf8Path);
      QVERIFY(f.open(QIODevice::WriteOnly));
      f.write(QStringLiteral("漢字 かな\r\n").toUtf8());
      QFile g(sjisPath);
      QVERIFY(g.open(QIODevice::WriteOnly));
      g.write(QByteArray("\x8A\xBF\x8E\x9A\x20\x82\xA9\x82\xC8", 9));  // no final line end
    }
    const ToolRun words = runTool({"--hex", "--speed", "3", "漢字", "かな\r\n"});
    const ToolRun stdinRun = runTool({"--hex", "--speed", "3"}, QStringLiteral("漢字 かな\r\n").toUtf8());
    const ToolRun utf8 = runTool({"--hex", "--speed", "3", "--file", utf8Path});
    const ToolRun sjis = runTool({"--hex", "--speed", "3", "--file", sjisPath});
    QCOMPARE(words.exitCode, 0);
    QVERIFY(words.out.contains("00 01 00 02 8B 41 02 FA 05 81 04"));  // the blank is full width
    QCOMPARE(stdinRun.out, words.out);
    QCOMPARE(utf8.out, words.out);
    QCOMPARE(sjis.out, words.out);
  }

  void exitStatuses() {
    const ToolRun tooLong = runTool({"--hex", QString(2034, QChar(u'字'))});
    QCOMPARE(tooLong.exitCode, 3);
    QCOMPARE(tooLong.err.trimmed(), QStringLiteral("文字数オーバー"));
    QVERIFY(tooLong.out.isEmpty());

    const ToolRun empty = runTool({"--hex"});
    QCOMPARE(empty.exitCode, 4);
    QCOMPARE(empty.err.trimmed(), QStringLiteral("文字を入力してください"));

    const ToolRun unusable = runTool({"--hex", "あ😀"});
    QCOMPARE(unusable.exitCode, 5);
    QCOMPARE(unusable.err.trimmed(), QStringLiteral("使用不可能な文字が含まれています"));
    QCOMPARE(unusable.out.count('\n'), 3);
  }

  void badUsage_data() {
    QTest::addColumn<QStringList>("args");
    QTest::newRow("speed 0") << QStringList{"--hex", "--speed", "0", "a"};
    QTest::newRow("speed 6") << QStringList{"--hex", "--speed", "6", "a"};
    QTest::newRow("speed word") << QStringList{"--hex", "--speed", "fast", "a"};
    QTest::newRow("unknown option") << QStringList{"--hex", "--colour", "a"};
    QTest::newRow("file and text") << QStringList{"--hex", "--file", "x.txt", "a"};
    QTest::newRow("missing file") << QStringList{"--hex", "--file", "/nonexistent/x.txt"};
  }
  void badUsage() {
    QFETCH(QStringList, args);
    const ToolRun r = runTool(args);
    QCOMPARE(r.exitCode, 2);
    QVERIFY(r.err.startsWith("vf3360-send: "));
    QVERIFY(r.out.isEmpty());
  }
};

QTEST_GUILESS_MAIN(SendToolTest)
#include "tst_send_tool.moc"
