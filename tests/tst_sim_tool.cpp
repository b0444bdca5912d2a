// vf3360-sim as a user and the end-to-end tests meet it: started as a
// process, its device opened with a real QSerialPort, the bytes of real
// convert-and-send runs written to it, its JSON lines read back.

#include "encoder/convert_and_send.h"
#include "link/control_command.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSerialPort>
#include <QtTest>

#include <memory>

using namespace vf;

namespace {

constexpr int kTimeoutMs = 10000;

// The tool, started with some options; its first line names the device.
class Sim {
 public:
  explicit Sim(const QStringList &args) {
    process.start(QStringLiteral(VF3360_SIM_PATH), args);
    if (!process.waitForStarted(kTimeoutMs)) return;
    device = readLine();
  }
  ~Sim() {
    if (process.state() == QProcess::NotRunning) return;
    process.terminate();
    if (!process.waitForFinished(kTimeoutMs)) process.kill();
    process.waitForFinished(kTimeoutMs);
  }

  // The next whole line of standard output; empty after kTimeoutMs without one.
  QString readLine() {
    QElapsedTimer clock;
    clock.start();
    while (!process.canReadLine()) {
      const qint64 left = kTimeoutMs - clock.elapsed();
      if (left <= 0 || !process.waitForReadyRead(static_cast<int>(left))) {
        if (!process.canReadLine()) return {};
      }
    }
    return QString::fromUtf8(process.readLine()).chopped(1);
  }

  // A line on the tool's standard input, handed over at once.
  bool say(const QByteArray &line) { return process.write(line) == line.size() && process.waitForBytesWritten(kTimeoutMs); }

  QJsonObject nextEvent() { return QJsonDocument::fromJson(readLine().toUtf8()).object(); }

  // Reads events up to and including the first named one; all of them in `seen`.
  QJsonObject waitFor(const QString &name, QList<QJsonObject> *seen = nullptr) {
    for (;;) {
      const QJsonObject e = nextEvent();
      if (e.isEmpty()) return e;
      if (seen) seen->append(e);
      if (e[QStringLiteral("event")].toString() == name) return e;
    }
  }

  QProcess process;
  QString device;
};

std::unique_ptr<QSerialPort> openPort(const QString &path) {
  auto port = std::make_unique<QSerialPort>(path);
  if (!port->open(QIODevice::ReadWrite)) return nullptr;
  port->setBaudRate(QSerialPort::Baud19200);
  port->setDataBits(QSerialPort::Data8);
  port->setParity(QSerialPort::NoParity);
  port->setStopBits(QSerialPort::OneStop);
  port->setFlowControl(QSerialPort::NoFlowControl);
  return port;
}

bool writeAll(QSerialPort &port, const QByteArray &bytes) {
  if (port.write(bytes) != bytes.size()) return false;
  while (port.bytesToWrite() > 0)
    if (!port.waitForBytesWritten(kTimeoutMs)) return false;
  return true;
}

// The writes of one convert-and-send, each handed to the port on its own.
ConvertRunResult send(QSerialPort &port, const QString &text, int speedOption = 1) {
  ConvertRunResult r = runConvertAndSend({text, speedOption, false});
  for (const QByteArray &w : r.writes)
    if (!writeAll(port, w)) return {};
  return r;
}

QByteArray readBytes(QSerialPort &port, int count) {
  QByteArray got;
  while (got.size() < count && (port.bytesAvailable() > 0 || port.waitForReadyRead(kTimeoutMs))) got += port.readAll();
  return got;
}

QString readBack(QString text) {
  for (QChar &ch : text) {
    if (ch == u'\r' || ch == u'\n') ch = QChar(0x3000);
    else if (ch == u'①') ch = u'ァ';
  }
  return text;
}

const QByteArray kUpdate = controlCommand(CommandCode::Update);

}  // namespace

class SimToolTest : public QObject {
  Q_OBJECT
 private slots:
  void messageArrivesWhole() {
    Sim sim({"--json"});
    QVERIFY2(sim.device.startsWith("/dev/pts/"), qPrintable(sim.device));
    auto port = openPort(sim.device);
    QVERIFY(port);
    const ConvertRunResult r = send(*port, QStringLiteral("漢字テスト\r\nABC ①"), 3);
    QCOMPARE(r.writes.size(), std::size_t(3));

    QCOMPARE(sim.nextEvent()["event"].toString(), "message-start");
    const QJsonObject count = sim.nextEvent();
    QCOMPARE(count["event"].toString(), "frame-count");
    QCOMPARE(count["frames"].toInt(), 1);
    const QJsonObject packet = sim.nextEvent();
    QCOMPARE(packet["event"].toString(), "packet");
    QCOMPARE(packet["frame"].toInt(), 1);
    QCOMPARE(packet["speed"].toInt(), 2);
    QVERIFY(packet["checksumOk"].toBool());
    QVERIFY(packet["faults"].toArray().isEmpty());
    const QJsonObject message = sim.nextEvent();
    QCOMPARE(message["event"].toString(), "message");
    QVERIFY(message["ok"].toBool());
    QCOMPARE(message["speed"].toInt(), 2);
    QCOMPARE(message["text"].toString(), readBack(*r.text1));
  }

  void sixteenFrames() {
    Sim sim({"--json"});
    auto port = openPort(sim.device);
    QVERIFY(port);
    const ConvertRunResult r = send(*port, QString(2033, QChar(u'鑿')), 5);
    QCOMPARE(r.framesBuilt(), 16);
    QList<QJsonObject> seen;
    const QJsonObject message = sim.waitFor("message", &seen);
    QCOMPARE(message["frames"].toInt(), 16);
    QCOMPARE(message["received"].toInt(), 16);
    QVERIFY(message["ok"].toBool());
    QCOMPARE(message["speed"].toInt(), 3);
    QCOMPARE(message["text"].toString(), *r.text1);
    QCOMPARE(seen.size(), 2 + 16 + 1);
  }

  void faultsAreReported() {
    Sim sim({"--json", "--verbose-updates"});
    auto port = openPort(sim.device);
    QVERIFY(port);
    QVERIFY(writeAll(*port, QByteArray("ABC") + kUpdate + QByteArray::fromHex("00003000" "0030EF")));
    const QJsonObject junk = sim.nextEvent();
    QCOMPARE(junk["event"].toString(), "fault");
    QCOMPARE(junk["kind"].toString(), "unexpected-bytes");
    QCOMPARE(junk["length"].toInt(), 3);
    QCOMPARE(junk["offset"].toInt(), 0);
    QCOMPARE(sim.nextEvent()["event"].toString(), "update");
    const QJsonObject unknown = sim.nextEvent();
    QCOMPARE(unknown["kind"].toString(), "unknown-command");
    QVERIFY(unknown["detail"].toString().contains("30"));

    // A packet whose checksum is wrong is reported with what was found.
    ConvertRunResult r = runConvertAndSend({QStringLiteral("あ"), 1, false});
    QByteArray bad = r.writes[2];
    bad[260] = static_cast<char>(bad[260] ^ 0x01);
    QVERIFY(writeAll(*port, r.writes[0] + r.writes[1] + bad));
    const QJsonObject packet = sim.waitFor("packet");
    QVERIFY(!packet["checksumOk"].toBool());
    QCOMPARE(packet["faults"].toArray().first().toObject()["kind"].toString(), "bad-checksum");
    const QJsonObject message = sim.nextEvent();
    QCOMPARE(message["event"].toString(), "message");
    QVERIFY(!message["ok"].toBool());

    // A packet cut short with nothing after it is reported once the line is quiet.
    QVERIFY(writeAll(*port, r.writes[0] + r.writes[1] + r.writes[2].left(100)));
    const QJsonObject shortPacket = sim.waitFor("packet");
    QCOMPARE(shortPacket["length"].toInt(), 100);
    QCOMPARE(shortPacket["faults"].toArray().first().toObject()["kind"].toString(), "packet-length");
  }

  void updatesAreCounted_data() {
    QTest::addColumn<bool>("everyOne");
    QTest::newRow("counted") << false;
    QTest::newRow("every one") << true;
  }
  void updatesAreCounted() {
    QFETCH(bool, everyOne);
    Sim sim(everyOne ? QStringList{"--json", "--verbose-updates"} : QStringList{"--json"});
    auto port = openPort(sim.device);
    QVERIFY(port);
    for (int i = 0; i < 30; ++i) QVERIFY(writeAll(*port, kUpdate));
    // A message after them: the count comes out first, so the log stays in order.
    send(*port, QStringLiteral("更新"));
    QList<QJsonObject> seen;
    QVERIFY(!sim.waitFor("message-start", &seen).isEmpty());
    int lines = 0;
    int sum = 0;
    for (const QJsonObject &e : seen) {
      if (e["event"].toString() != "update") continue;
      ++lines;
      sum += e["count"].toInt();
      QCOMPARE(e["total"].toInt(), sum);
    }
    QCOMPARE(sum, 30);
    if (everyOne) QCOMPARE(lines, 30);
    else QVERIFY(lines < 30);
    QCOMPARE(seen.size(), lines + 1);
  }

  void cueReply_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("afterMessage");
    QTest::addColumn<QByteArray>("reply");
    const QByteArray rs232c("\x00\x00\xC0\x00", 4);
    const QByteArray usb("\xC0\x00\x00\x00", 4);
    QTest::newRow("rs232c, on standard input") << QStringList{"--json"} << false << rs232c;
    QTest::newRow("usb, on standard input") << QStringList{"--json", "--kind", "usb"} << false << usb;
    QTest::newRow("rs232c, after each message") << QStringList{"--json", "--cue-after", "50"} << true << rs232c;
    QTest::newRow("usb, after each message") << QStringList{"--json", "--kind", "usb", "--cue-after", "0"} << true
                                             << usb;
  }
  void cueReply() {
    QFETCH(QStringList, args);
    QFETCH(bool, afterMessage);
    QFETCH(QByteArray, reply);
    Sim sim(args);
    auto port = openPort(sim.device);
    QVERIFY(port);
    if (afterMessage) {
      // Two messages, two replies.
      send(*port, QStringLiteral("一"));
      QVERIFY(!sim.waitFor("message").isEmpty());
      QCOMPARE(sim.nextEvent()["event"].toString(), "cue-reply");
      send(*port, QStringLiteral("二"));
      QVERIFY(!sim.waitFor("message").isEmpty());
      QCOMPARE(readBytes(*port, 8), reply + reply);
    } else {
      QVERIFY(sim.say("cue\n"));
      QCOMPARE(readBytes(*port, 4), reply);
      QVERIFY(sim.say("cue\ncue\n"));
      QCOMPARE(readBytes(*port, 8), reply + reply);
    }
    const QJsonObject e = sim.waitFor("cue-reply");
    QCOMPARE(e["bytes"].toString(), QString::fromLatin1(reply.toHex(' ').toUpper()));
  }

  // The program may close its port and open it again: the line stays up.
  void portClosedAndReopened() {
    Sim sim({"--json"});
    for (const QString &text : {QStringLiteral("一回目"), QStringLiteral("二回目"), QStringLiteral("三回目")}) {
      auto port = openPort(sim.device);
      QVERIFY(port);
      const ConvertRunResult r = send(*port, text);
      const QJsonObject message = sim.waitFor("message");
      QCOMPARE(message["text"].toString(), *r.text1);
      QVERIFY(message["ok"].toBool());
      port->close();
      QCOMPARE(sim.process.state(), QProcess::Running);
    }
  }

  void linkIsMadeAndRemoved_data() {
    QTest::addColumn<bool>("bySignal");
    QTest::newRow("ended by SIGTERM") << true;
    QTest::newRow("ended by quit") << false;
  }
  void linkIsMadeAndRemoved() {
    QFETCH(bool, bySignal);
    QTemporaryDir dir;
    const QString link = dir.filePath("vf3360");
    QVERIFY(QFile::link("/nonexistent/stale", link));  // left by an earlier run: replaced
    {
      Sim sim({"--json", "--link", link});
      QVERIFY(!sim.device.isEmpty());
      QVERIFY(QFileInfo(link).isSymLink());
      QCOMPARE(QFileInfo(link).symLinkTarget(), sim.device);
      auto port = openPort(link);
      QVERIFY(port);
      const ConvertRunResult r = send(*port, QStringLiteral("リンク"));
      QCOMPARE(sim.waitFor("message")["text"].toString(), *r.text1);
      if (bySignal) sim.process.terminate();
      else QVERIFY(sim.say("quit\n"));
      QVERIFY(sim.process.waitForFinished(kTimeoutMs));
      QCOMPARE(sim.process.exitStatus(), QProcess::NormalExit);
      QCOMPARE(sim.process.exitCode(), 0);
    }
    QVERIFY(!QFileInfo(link).isSymLink());
    QVERIFY(!QFileInfo::exists(link));
  }

  void humanReadableLines() {
    Sim sim({});
    auto port = openPort(sim.device);
    QVERIFY(port);
    send(*port, QStringLiteral("あ"));
    const QString blanks(14, QChar(0x3000));
    QCOMPARE(sim.readLine(), "message start");
    QCOMPARE(sim.readLine(), "frame count 1");
    QCOMPARE(sim.readLine(), "packet frame 1, speed 0, checksum ok: \"あ" + blanks + "\"");
    QCOMPARE(sim.readLine(), "message 1 of 1 frame(s), speed 0, ok: \"あ" + blanks + "\"");
    QVERIFY(writeAll(*port, QByteArray("\x01\x02", 2) + kUpdate));
    QVERIFY(sim.readLine().startsWith("FAULT at offset 276: unexpected-bytes: 2 byte(s) skipped"));
    QCOMPARE(sim.readLine(), "update x1 (1 in all)");
  }

  void badUsage_data() {
    QTest::addColumn<QStringList>("args");
    QTest::newRow("unknown kind") << QStringList{"--kind", "serial"};
    QTest::newRow("cue-after not a number") << QStringList{"--cue-after", "soon"};
    QTest::newRow("cue-after negative") << QStringList{"--cue-after", "-5"};
    QTest::newRow("unknown option") << QStringList{"--colour"};
    QTest::newRow("an argument") << QStringList{"extra"};
    QTest::newRow("link over a file") << QStringList{"--link", "FILE"};
  }
  void badUsage() {
    QFETCH(QStringList, args);
    // A file in the way of --link is never replaced.
    QTemporaryDir dir;
    const QString file = dir.filePath("precious");
    {
      QFile f(file);
      QVERIFY(f.open(QIODevice::WriteOnly));
      f.write("keep me");
    }
    args.replaceInStrings(QStringLiteral("FILE"), file);
    QProcess p;
    p.start(QStringLiteral(VF3360_SIM_PATH), args);
    QVERIFY(p.waitForFinished(kTimeoutMs));
    QCOMPARE(p.exitCode(), 2);
    QVERIFY(p.readAllStandardError().startsWith("vf3360-sim: "));
    QVERIFY(p.readAllStandardOutput().isEmpty());
    QFile f(file);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("keep me"));
  }
};

QTEST_GUILESS_MAIN(SimToolTest)
#include "tst_sim_tool.moc"
