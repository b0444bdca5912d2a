// vf3360-sim as a user meets it: started as a process, its device opened with
// a real QSerialPort, the bytes of real convert-and-send runs written to it,
// its lines read back.

#include "encoder/convert_and_send.h"
#include "link/control_command.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSerialPort>
#include <QtTest>

using namespace vf;

namespace {

constexpr int kTimeoutMs = 10000;
const QByteArray kUpdate = controlCommand(CommandCode::Update);

// The tool, started with some options (its first line names the device), and
// a serial port on the program's side of its line.
struct Sim {
  explicit Sim(const QStringList &args) {
    process.start(QStringLiteral(VF3360_SIM_PATH), args);
    device = readLine();
  }
  ~Sim() {
    process.kill();
    process.waitForFinished();
  }
  // The next line of standard output; empty after kTimeoutMs without one.
  QString readLine() {
    while (!process.canReadLine())
      if (!process.waitForReadyRead(kTimeoutMs)) return {};
    return QString::fromUtf8(process.readLine()).chopped(1);
  }
  bool say(const QByteArray &line) { return process.write(line) == line.size() && process.waitForBytesWritten(); }
  QJsonObject next() { return QJsonDocument::fromJson(readLine().toUtf8()).object(); }
  QJsonObject waitFor(const QString &name) {  // the first event of that name
    QJsonObject e = next();
    while (!e.isEmpty() && e["event"].toString() != name) e = next();
    return e;
  }

  bool open(const QString &path = {}) {
    port.close();
    port.setPortName(path.isEmpty() ? device : path);
    return port.open(QIODevice::ReadWrite);
  }
  bool write(const QByteArray &bytes) {
    if (port.write(bytes) != bytes.size()) return false;
    while (port.bytesToWrite() > 0)
      if (!port.waitForBytesWritten(kTimeoutMs)) return false;
    return true;
  }
  // The writes of one convert-and-send, each handed to the port on its own.
  // No text here has line ends or twins: the module shows text1 as it is.
  ConvertRunResult send(const QString &text, int speedOption = 1) {
    ConvertRunResult r = runConvertAndSend({text, speedOption, false});
    for (const QByteArray &w : r.writes)
      if (!write(w)) return {};
    return r;
  }

  QProcess process;
  QString device;
  QSerialPort port;
};

}  // namespace

class SimToolTest : public QObject {
  Q_OBJECT
 private slots:
  // The program may close its port and open it again: the line stays up.
  // Updates asked for one by one come one line each.
  void messagesThroughAReopenedPort() {
    Sim sim({"--json", "--verbose-updates"});
    int updates = 0;
    for (int speed : {3, 5, 1}) {  // one frame, sixteen frames, one frame
      QVERIFY2(sim.open(), qPrintable(sim.device));
      QVERIFY(sim.write(kUpdate + kUpdate));
      for (int i = 0; i < 2; ++i) QCOMPARE(sim.next()["total"].toInt(), ++updates);
      const ConvertRunResult r = sim.send(speed == 5 ? QString(2033, u'鑿') : QStringLiteral("漢字テスト ABC"), speed);
      const QJsonObject message = sim.waitFor("message");
      QVERIFY(message["ok"].toBool());
      QCOMPARE(message["speed"].toInt(), std::min(speed - 1, 3));
      QCOMPARE(message["received"].toInt(), r.framesBuilt());
      QCOMPARE(message["text"].toString(), *r.text1);
    }
  }

  // The log for a person: each element; updates counted, the count before the
  // next line; a fault with where it was; a packet cut short judged once the
  // line has gone quiet.
  void humanReadableLines() {
    Sim sim({});
    QVERIFY(sim.open());
    const ConvertRunResult r = sim.send(QStringLiteral("あ"));
    const QString text = "\"あ" + QString(14, QChar(0x3000)) + '"';
    for (const QString &line : {QStringLiteral("message start"), QStringLiteral("frame count 1"),
                                "packet frame 1, speed 0, checksum ok: " + text,
                                "message 1 of 1 frame(s), speed 0, ok: " + text})
      QCOMPARE(sim.readLine(), line);
    QVERIFY(sim.write(kUpdate.repeated(30) + "\x01\x02" + r.writes[0] + r.writes[1] + r.writes[2].left(100)));
    int total = 0;
    QString line = sim.readLine();
    for (; line.startsWith("update x"); line = sim.readLine()) {
      const int count = line.section(u'x', 1).section(u' ', 0, 0).toInt();
      QCOMPARE(line, QStringLiteral("update x%1 (%2 in all)").arg(count).arg(total += count));
    }
    QCOMPARE(total, 30);
    QVERIFY(line.startsWith("FAULT at offset 486: unexpected-bytes: 2 byte(s) skipped"));
    for (const char *expected : {"message start", "frame count 1"}) QCOMPARE(sim.readLine(), expected);
    QVERIFY(sim.readLine().startsWith("packet frame 1, checksum BAD, 1 fault(s) [packet-length: "));
    QVERIFY(sim.readLine().startsWith("message 1 of 1 frame(s), WITH FAULTS"));
  }

  void cueReply_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("reply");
    const QByteArray rs232c("\x00\x00\xC0\x00", 4), usb("\xC0\x00\x00\x00", 4);
    QTest::newRow("rs232c, on standard input") << QStringList{"--json"} << rs232c;
    QTest::newRow("usb, on standard input") << QStringList{"--json", "--kind", "usb"} << usb;
    QTest::newRow("rs232c, after each message") << QStringList{"--json", "--cue-after", "50"} << rs232c;
    QTest::newRow("usb, after each message") << QStringList{"--json", "--kind", "usb", "--cue-after", "0"} << usb;
  }
  void cueReply() {
    QFETCH(QStringList, args);
    QFETCH(QByteArray, reply);
    Sim sim(args);
    QVERIFY(sim.open());
    if (args.contains("--cue-after"))  // one reply after each message
      for (const QString &text : {QStringLiteral("一"), QStringLiteral("二")}) sim.send(text);
    else
      QVERIFY(sim.say("cue\ncue\n"));
    QCOMPARE(sim.waitFor("cue-reply")["bytes"].toString(), QString::fromLatin1(reply.toHex(' ').toUpper()));
    QByteArray got;
    while (got.size() < 8 && (sim.port.bytesAvailable() || sim.port.waitForReadyRead(kTimeoutMs)))
      got += sim.port.readAll();
    QCOMPARE(got, reply + reply);
    QVERIFY(!sim.port.waitForReadyRead(200));  // and no more
  }

  // The link is made, over one an earlier run left, and removed on either ending.
  void linkIsMadeAndRemoved() {
    for (bool bySignal : {true, false}) {
      QTemporaryDir dir;
      const QString link = dir.filePath("vf3360");
      QVERIFY(QFile::link("/nonexistent/stale", link));
      Sim sim({"--json", "--link", link});
      QCOMPARE(QFileInfo(link).symLinkTarget(), sim.device);
      QVERIFY(sim.open(link));
      if (bySignal) sim.process.terminate();
      else QVERIFY(sim.say("quit\n"));
      QVERIFY(sim.process.waitForFinished(kTimeoutMs));
      QCOMPARE(sim.process.exitStatus(), QProcess::NormalExit);
      QCOMPARE(sim.process.exitCode(), 0);
      QVERIFY(!QFileInfo(link).isSymLink());
    }
  }

  // Bad usage ends with status 2 and leaves a file in the way of --link alone.
  void badUsage() {
    QTemporaryDir dir;
    QFile file(dir.filePath("precious"));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("keep me") == 7);
    file.close();
    for (const QStringList &args :
         {QStringList{"--link", file.fileName()}, QStringList{"--kind", "serial"}, QStringList{"--cue-after", "-5"}}) {
      QProcess p;
      p.start(QStringLiteral(VF3360_SIM_PATH), args);
      QVERIFY(p.waitForFinished(kTimeoutMs));
      QCOMPARE(p.exitCode(), 2);
      QVERIFY(p.readAllStandardError().startsWith("vf3360-sim: "));
      QVERIFY(p.readAllStandardOutput().isEmpty());
    }
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("keep me"));
  }
};

QTEST_GUILESS_MAIN(SimToolTest)
#include "tst_sim_tool.moc"
