// The programs as a user runs them: vf3360-send with every source of text,
// its exit statuses and a real pseudo-terminal; vf3360-sim with its lines and
// link; vf3360 itself with "--device" answering the cue reply.

#include "encoder/message_builder.h"
#include "sim/pseudo_terminal.h"
#include "tests/support/bytes.h"

#include <QProcess>
#include <QTest>

#include <grp.h>
#include <unistd.h>

#include <utility>

namespace {

struct Run {
  int status = -1;
  QByteArray out;
  QString err;
};

Run run(const QString &program, const QStringList &args, const QByteArray &input = {}, bool display = true) {
  QProcess p;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(u"QT_QPA_PLATFORM"_qs, u"offscreen"_qs);
  for (const QString &variable : {u"QT_QPA_PLATFORM"_qs, u"DISPLAY"_qs, u"WAYLAND_DISPLAY"_qs})
    if (!display) env.remove(variable);
  p.setProcessEnvironment(env);
  p.start(program, args);
  p.write(input);
  p.closeWriteChannel();
  if (!p.waitForFinished(30000)) return {};
  return {p.exitCode(), p.readAllStandardOutput(), QString::fromUtf8(p.readAllStandardError())};
}

Run send(const QStringList &args, const QByteArray &input = {}) { return run(QStringLiteral(VF3360_SEND_PATH), args, input); }

}  // namespace

class ToolsTest : public QObject {
  Q_OBJECT
 private slots:
  void sendSources() {
    QTemporaryDir dir;
    const QString cp932 = dir.filePath(u"sjis.txt"_qs);
    QVERIFY(writeFile(cp932, hex("CAB2C3B8208ABF")));  // "ﾊｲﾃｸ 漢", no line end
    // The lines of --hex are pinned in sendStatuses; here their bytes.
    const QByteArray expected = joined(vf::buildMessage(u"ﾊｲﾃｸ 漢\r\n"_qs, 3).writes);
    QCOMPARE(QByteArray::fromHex(send({u"--hex"_qs, u"--speed"_qs, u"3"_qs, u"--file"_qs, cp932}).out), expected);
    QCOMPARE(QByteArray::fromHex(send({u"--hex"_qs, u"--speed"_qs, u"3"_qs, u"ﾊｲﾃｸ"_qs, u"漢\r\n"_qs}).out), expected);
    QCOMPARE(QByteArray::fromHex(send({u"--hex"_qs, u"--speed"_qs, u"3"_qs}, u"ﾊｲﾃｸ 漢\r\n"_qs.toUtf8()).out), expected);
  }

  void sendStatuses_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("out");  // how standard output begins
    QTest::addColumn<QString>("error");
    QTest::newRow("sent") << QStringList{"--hex", "あ"} << 0 << QByteArray("00 00 25 00 00 25 EF\n00 00 04 01 00 05 EF\n00 01 00 00 8B ") << "";
    QTest::newRow("speed 5") << QStringList{"--hex", "--speed", "5", "A"} << 0
                             << QByteArray("00 00 25 00 00 25 EF\n00 00 04 01 00 05 EF\n00 01 00 03 8B 81 09 ") << "";
    QTest::newRow("clear") << QStringList{"--hex", "--clear"} << 0 << QByteArray("00 00 14 00 00 14 EF\n") << "";
    QTest::newRow("rewind") << QStringList{"--hex", "--rewind"} << 0 << QByteArray("00 00 18 00 00 18 EF\n") << "";
    QTest::newRow("too long") << QStringList{"--hex", QString(2034, u'字')} << 3 << QByteArray() << "文字数オーバー（2034文字、最大2033文字）\n";
    QTest::newRow("empty") << QStringList{"--hex"} << 4 << QByteArray() << "文字を入力してください\n";
    QTest::newRow("unusable") << QStringList{"--hex", "あ😀"} << 5 << QByteArray("00 00 25") << "使用不可能な文字が含まれています\n";
    QTest::newRow("a control character") << QStringList{"--hex", "\x1B[0m"} << 5 << QByteArray("00 00 25") << "使用不可能な文字が含まれています\n";
    QTest::newRow("a file that is no text") << QStringList{"--hex", "--file", "@program"} << 2 << QByteArray()
                                            << "vf3360-send: テキストファイルではありません";
    QTest::newRow("speed 6") << QStringList{"--hex", "--speed", "6", "a"} << 2 << QByteArray() << "vf3360-send: --speed takes";
    QTest::newRow("port 17") << QStringList{"--port", "17", "a"} << 2 << QByteArray() << "vf3360-send: --port takes";
    QTest::newRow("clear and rewind") << QStringList{"--hex", "--clear", "--rewind"} << 2 << QByteArray() << "vf3360-send: give either --clear";
    QTest::newRow("clear and text") << QStringList{"--hex", "--clear", "a"} << 2 << QByteArray() << "vf3360-send: --clear and --rewind send no";
    QTest::newRow("hex and device") << QStringList{"--hex", "--device", "/dev/null", "a"} << 2 << QByteArray() << "vf3360-send: give only one";
    QTest::newRow("file and text") << QStringList{"--hex", "--file", "x.txt", "a"} << 2 << QByteArray() << "vf3360-send: give either";
    QTest::newRow("no destination") << QStringList{"a"} << 2 << QByteArray() << "vf3360-send: no port";
    QTest::newRow("no such device") << QStringList{"--device", "/dev/vf3360-none", "a"} << 1 << QByteArray()
                                    << "vf3360-send: cannot open /dev/vf3360-none: ";
    QTest::newRow("converter port") << QStringList{"--port", "3", "--usb", "a"} << 1 << QByteArray()
                                    << "vf3360-send: cannot open /dev/ttyUSB2: ";
    QTest::newRow("RS-232C port") << QStringList{"--port", "16", "a"} << 1 << QByteArray() << "vf3360-send: cannot open /dev/ttyS15: ";
  }
  void sendStatuses() {
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QFETCH(QByteArray, out);
    QFETCH(QString, error);
    QTemporaryDir dir;
    args.replaceInStrings(u"@program"_qs, dir.filePath(u"program.txt"_qs));  // the start of a program, not text
    QVERIFY(writeFile(dir.filePath(u"program.txt"_qs), QByteArray("\x7F" "ELF\0\0", 6)));
    const Run r = send(args);
    QCOMPARE(r.status, status);
    QVERIFY2(r.out.startsWith(out), r.out.left(200).constData());
    if (error.isEmpty() || error.endsWith(u'\n'))
      QCOMPARE(r.err, error);
    else
      QVERIFY2(r.err.startsWith(error), qPrintable(r.err));
  }

  // Exactly the bytes --hex prints, all of them handed to the line before the
  // tool ends, also when the line holds them back for longer than a second
  // (the tool waits the line time of the message and a second).
  void sendThroughALine() {
    for (const QStringList &args : {QStringList{"--speed", "2", "あ"}, QStringList{QString(2033, u'字')}, QStringList{"--rewind"}}) {
      const QByteArray expected = QByteArray::fromHex(send(QStringList{"--hex"} + args).out);
      vf::PseudoTerminal line;
      const bool slow = expected.size() > 4096;
      QVERIFY(line.holdOutput(slow));
      QProcess tool;
      tool.start(QStringLiteral(VF3360_SEND_PATH), QStringList{"--device", line.path()} + args);
      if (slow) {
        QVERIFY(!tool.waitForFinished(2000));  // the tool waits for the line
        QVERIFY(line.holdOutput(false));
      }
      QCOMPARE(line.readExactly(expected.size(), 30000), expected);
      QVERIFY(tool.state() == QProcess::NotRunning || tool.waitForFinished(30000));
      QCOMPARE(tool.exitCode(), 0);
      QCOMPARE(line.readFor(100), QByteArray());
    }
    vf::PseudoTerminal held;  // for good: after the line time and a second, how many bytes did not go
    QVERIFY(held.holdOutput(true));
    const Run stalled = run(QStringLiteral(VF3360_SEND_PATH), {u"--device"_qs, held.path(), QString(2033, u'字')});
    QVERIFY2(stalled.status == 1 && stalled.err.contains(QRegularExpression(u"回線が受け取らず、[1-9]\\d* バイトを送信できませんでした"_qs)), qPrintable(stalled.err));
  }

  // A device the user may not open: the reason, and how to get the right
  // where the group dialout has it. Root may open anything, so as root the
  // tool runs as nobody, from a copy nobody can reach, on a device of the
  // group dialout; otherwise on one nobody may use.
  void sendToAForbiddenDevice() {
    vf::PseudoTerminal line;
    QTemporaryDir dir;
    QString program = QStringLiteral(VF3360_SEND_PATH);
    QStringList args{u"--device"_qs, line.path(), u"a"_qs};
    const group *dialout = ::getgrnam("dialout");
    const bool viaDialout = ::geteuid() == 0 && dialout;
    if (viaDialout) {
      QVERIFY(::chown(QFile::encodeName(line.path()).constData(), -1, dialout->gr_gid) == 0);
      QVERIFY(QFile::setPermissions(line.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::WriteGroup));
      const QString copy = dir.filePath(u"vf3360-send"_qs);
      const auto reachable = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther;
      QVERIFY(QFile::copy(program, copy) && QFile::setPermissions(dir.path(), reachable));
      args = QStringList{u"--reuid=65534"_qs, u"--regid=65534"_qs, u"--clear-groups"_qs, copy} + args;
      program = u"setpriv"_qs;
    } else {
      QVERIFY(QFile::setPermissions(line.path(), {}));
    }
    const Run r = run(program, args);
    QCOMPARE(r.status, 1);
    QVERIFY2(r.err.startsWith(u"vf3360-send: cannot open "_qs + line.path()) && r.err.contains(u"usermod -aG dialout"_qs) == viaDialout,
             qPrintable(r.err));
  }

  void sim() {
    QTemporaryDir dir;
    const QString link = dir.filePath(u"module"_qs);
    QVERIFY(QFile::link(dir.filePath(u"gone"_qs), link));  // left by an earlier run
    QProcess sim;
    sim.start(QStringLiteral(VF3360_SIM_PATH), {u"--link"_qs, link});
    QVERIFY(QTest::qWaitFor([&] { return sim.canReadLine(); }, 10000));
    const QString device = QString::fromUtf8(sim.readLine()).trimmed();
    QCOMPARE(QFileInfo(link).symLinkTarget(), device);
    QCOMPARE(send({u"--device"_qs, link, u"--speed"_qs, u"4"_qs, u"ABC"_qs}).status, 0);
    QVERIFY(send({u"--device"_qs, link, u"--clear"_qs}).status == 0);
    QByteArray log;
    QTRY_VERIFY_WITH_TIMEOUT((log += sim.readAllStandardOutput()).contains("display clear"), 10000);
    QVERIFY(log.contains("message 1 of 1 frame(s), speed 3, ok: \"ＡＢＣ"));
    sim.terminate();
    QVERIFY(sim.waitForFinished(10000));
    QVERIFY(!QFileInfo::exists(link) && !QFileInfo(link).isSymLink());  // removed on the way out
    QCOMPARE(run(QStringLiteral(VF3360_SIM_PATH), {u"--kind"_qs, u"serial"_qs}).status, 2);
    const Run window = run(QStringLiteral(VF3360_SIM_PATH), {u"--window"_qs}, {}, /*display=*/false);
    QVERIFY2(window.status == 2 && window.err.contains(u"--window needs a display"_qs), qPrintable(window.err));
  }

  // The program in a folder of its own, its portnum.ini the test's: the
  // stored port opens on the device given, and the cue reply of the stored
  // kind is answered. As root, once more as nobody from a folder nobody may
  // not write: the choice then comes from the user's vf3360/portnum.ini.
  void program() {
    for (const bool asNobody : ::geteuid() == 0 ? QList{false, true} : QList{false}) {
      QTemporaryDir folder, home;
      const QString program = folder.filePath(u"vf3360"_qs);
      const QString ini = asNobody ? home.filePath(u".config/vf3360/portnum.ini"_qs) : folder.filePath(u"portnum.ini"_qs);
      QVERIFY(QFile::copy(QStringLiteral(VF3360_PATH), program) && QDir().mkpath(QFileInfo(ini).path()) && writeFile(ini, "19\r\n"));
      vf::PseudoTerminal line;
      QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
      env.insert(u"QT_QPA_PLATFORM"_qs, u"offscreen"_qs);
      env.insert(u"XDG_CONFIG_HOME"_qs, home.filePath(u".config"_qs));
      QStringList args{program, u"--device"_qs, asNobody ? home.filePath(u"line"_qs) : line.path()};
      // Nobody's home, a folder nobody may only read, the line under a name no lock file of root's holds.
      if (asNobody) {
        QCOMPARE(QProcess::execute(u"sh"_qs, {u"-c"_qs, u"chown -R 65534:65534 \"$0\" && chmod 705 \"$1\" && chmod 666 \"$2\" && ln -s \"$2\" \"$0/line\""_qs,
                                              home.path(), folder.path(), line.path()}), 0);
        args = QStringList{u"setpriv"_qs, u"--reuid=65534"_qs, u"--regid=65534"_qs, u"--clear-groups"_qs} + args;
      }
      QProcess process;
      process.setProcessEnvironment(env);
      process.start(args.takeFirst(), args);
      QByteArray answer;
      QDeadlineTimer deadline(20000);
      while (answer.isEmpty() && !deadline.hasExpired() && process.state() != QProcess::NotRunning) {
        QVERIFY(line.write(QByteArray::fromHex("C0")));  // until the port is open and answers
        answer = line.readFor(200);
      }
      process.kill();
      process.waitForFinished();
      QCOMPARE(answer.left(7), QByteArray::fromHex("00001800 0018EF"));
    }
    const std::pair<QStringList, QString> refused[] = {{{"--device"}, u"'--device' の後の値が欠けています。"_qs},
                                                       {{"--device="}, u"--device needs a path"_qs},
                                                       {{"--device", "a", "--device", "b"}, u"give --device only once"_qs}};
    for (const auto &[args, why] : refused) {
      const Run bad = run(QStringLiteral(VF3360_PATH), args);
      QCOMPARE(bad.status, 2);
      QVERIFY2(bad.err.contains(u"vf3360: "_qs + why + u"\nusage: vf3360 [--device PATH] | --version\n"_qs), qPrintable(bad.err));
    }
  }
};

QTEST_GUILESS_MAIN(ToolsTest)
#include "tst_tools.moc"
