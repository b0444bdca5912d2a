// vf3360-bridge against a real mosquitto broker of the test's own, with
// mosquitto_pub and mosquitto_sub as a publisher and an onlooker, and its
// module on a pseudo-terminal.

#include "bridge/mqtt_client.h"
#include "encoder/message_builder.h"
#include "protocol/module_decoder.h"
#include "sim/pseudo_terminal.h"
#include "tests/support/broker.h"
#include "tests/support/bytes.h"

#include <QDateTime>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryFile>
#include <QTest>

#include <unistd.h>

#include <csignal>

namespace {

QByteArray messageBytes(const QString &text, int speed) { return joined(vf::buildMessage(text, speed).writes); }

}  // namespace

class BridgeTest : public QObject {
  Q_OBJECT
  Broker broker_;
  QTemporaryDir state_;
  QString name_;
  QProcess bridge_;
  QProcess watch_;  // mosquitto_sub on the display's status and events
  QList<QJsonObject> seen_;
  QHash<QString, qsizetype> taken_;  // a topic's messages up to here have been looked at

  // lines: each line of the payload is a message of its own.
  void publish(const QString &topic, const QByteArray &payload, bool retain = false, bool lines = false) {
    QProcess pub;
    pub.start(u"mosquitto_pub"_qs, broker_.args() + QStringList{u"-t"_qs, topic, payload.isEmpty() ? u"-n"_qs : lines ? u"-l"_qs : u"-s"_qs} +
                                       (retain ? QStringList{u"-r"_qs} : QStringList{}));
    pub.write(payload);
    pub.closeWriteChannel();
    QVERIFY(pub.waitForFinished(10000) && pub.exitCode() == 0);
  }
  void startBridge(const QString &device, const QStringList &more = {}) {
    bridge_.start(QStringLiteral(VF3360_BRIDGE_PATH),
                  QStringList{u"--name"_qs, name_, u"--device"_qs, device, u"--broker"_qs,
                              QStringLiteral("127.0.0.1:%1").arg(broker_.port)} + more);
    QVERIFY(bridge_.waitForStarted());
  }
  // The next message on the topic ending in `leaf`, after the last one taken
  // there, that has every field of `fields`, within ms.
  QJsonObject next(const QString &leaf, const QJsonObject &fields, int ms = 10000) {
    QJsonObject found;
    (void)QTest::qWaitFor([&] {
      while (watch_.canReadLine()) {
        const QJsonObject line = QJsonDocument::fromJson(watch_.readLine()).object();
        QJsonObject payload = QJsonDocument::fromJson(line[u"payload"].toString().toUtf8()).object();
        payload[u"_topic"] = line[u"topic"];
        payload[u"_qos"] = line[u"qos"];
        seen_ << payload;
      }
      for (qsizetype &i = taken_[leaf]; i < seen_.size(); ++i) {
        bool all = seen_[i][u"_topic"].toString().endsWith(leaf);
        for (auto it = fields.begin(); it != fields.end(); ++it) all = all && seen_[i][it.key()] == it.value();
        if (all) { found = seen_[i++]; return true; }
      }
      return false;
    }, ms);
    return found;
  }
  QString topic(const QString &leaf) const { return QStringLiteral("vf3360/%1/%2").arg(name_, leaf); }
  QJsonObject status(const QString &state) { return next(u"/status"_qs, {{u"state"_qs, state}}); }
  QJsonObject event(const QString &kind) { return next(u"/event"_qs, {{u"event"_qs, kind}}); }
  // Update commands among the bytes of the next ms; -1 when anything else came.
  static int updates(vf::PseudoTerminal &line, int ms) {
    const QByteArray bytes = line.readExactly(1 << 24, ms);
    return bytes == kUpdateCommand.repeated(bytes.size() / kUpdateCommand.size()) ? int(bytes.size() / kUpdateCommand.size()) : -1;
  }
  // The messages the module reads (text and speed code) and display clears, in 10 s or until 300 ms after the count-th.
  static QStringList shownOn(vf::PseudoTerminal &line, qsizetype count) {
    vf::ModuleDecoder decoder;
    QStringList seen;
    for (QDeadlineTimer deadline(10000); !deadline.hasExpired();) {
      for (const vf::ModuleEvent &e : decoder.feed(line.readExactly(1 << 20, 50))) {
        if (const auto *message = e.as<vf::decoded::Message>()) seen << message->text.trimmed() + u' ' + QString::number(message->speed);
        if (e.is<vf::decoded::DisplayClear>()) seen << u"display-clear"_qs;
        if (seen.size() == count && deadline.remainingTime() > 300) deadline.setRemainingTime(300);
      }
    }
    return seen;
  }

 private slots:
  void initTestCase() {
    endsWithTest(bridge_);
    qputenv("XDG_STATE_HOME", state_.path().toUtf8());  // the bridges keep their state here
    watch_.setProcessChannelMode(QProcess::MergedChannels);
    QVERIFY(broker_.start());
  }

  void init() {
    static int count = 0;
    name_ = QStringLiteral("t%1").arg(++count);
    qunsetenv("VF3360_MQTT_PASSWORD");
    seen_.clear();
    taken_.clear();
    watch_.start(u"mosquitto_sub"_qs, broker_.args() + QStringList{u"-F"_qs, u"%j"_qs, u"-t"_qs,
                                                                   QStringLiteral("vf3360/%1/+").arg(name_)});
    for (int i = 0; i < 100; ++i) {  // subscribed once a message of its own comes back
      publish(QStringLiteral("vf3360/%1/probe").arg(name_), "{}");
      if (!next(u"/probe"_qs, {}, 100).isEmpty()) break;
    }
  }
  void cleanup() {
    for (QProcess *p : {&bridge_, &watch_}) {
      p->kill();
      p->waitForFinished();
    }
    if (QTest::currentTestFailed()) qWarning().noquote() << "the bridge said:\n" << bridge_.readAllStandardError();
  }

  // A text comes out byte for byte as the program's "変換 + 送信" writes it, then the update command
  // every 20 ms; its event tells how long the line took (here held back for a while). A clear taken meanwhile follows it.
  void showsText_data() {
    QTest::addColumn<QString>("topic");  // %1: the display's name
    QTest::addColumn<QByteArray>("speed");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("frames");
    QTest::addColumn<QByteArray>("unusable");  // as the status lists them; the event names the first
    QTest::addColumn<QString>("face");  // what the module shows; U+FFFD a marked cell
    QTest::addColumn<int>("dotsPerSecond");
    const QString blanks(14, QChar(0x3000));  // appended to every text
    QTest::newRow("group") << "vf3360/group/hall/text" << QByteArray("5") << "ｶﾀｶﾅ" << 1 << QByteArray("[]") << "カタカナ" + blanks << 24;
    QTest::newRow("unusable") << "vf3360/%1/text" << QByteArray() << "髙島屋😀" << 1
                              << QByteArray(R"([{"character":"髙","codePoint":"U+9AD9"},{"character":"😀","codePoint":"U+1F600"}])")
                              << QString(QChar(0xFFFD)) << 192;
    QTest::newRow("2033 characters") << "vf3360/%1/text" << QByteArray("2") << QString(2033, u'字') << 16 << QByteArray("[]")
                                     << QString(2033, u'字') + blanks << 96;
    QTest::newRow("a clear after it") << "vf3360/%1/text" << QByteArray() << "消す" << 1 << QByteArray("[]") << "消す" + blanks << 192;
  }
  void showsText() {
    QFETCH(QString, topic);
    QFETCH(QByteArray, speed);
    QFETCH(QString, text);
    QFETCH(int, frames);
    QFETCH(QByteArray, unusable);
    QFETCH(QString, face);
    QFETCH(int, dotsPerSecond);
    vf::PseudoTerminal line;
    startBridge(line.path(), {u"--group"_qs, u"other"_qs, u"--group"_qs, u"hall"_qs});
    QVERIFY(!status(u"online"_qs).isEmpty());
    topic.replace(u"%1"_qs, name_);
    const int option = speed.isEmpty() ? 1 : speed.toInt();
    if (!speed.isEmpty()) publish(topic.section(u'/', 0, -2) + u"/speed"_qs, speed);
    QVERIFY(line.holdOutput(true));
    publish(topic, text.toUtf8());
    const bool clear = QByteArray(QTest::currentDataTag()) == "a clear after it";  // it follows the text on the line
    if (clear) publish(topic.section(u'/', 0, -2) + u"/command"_qs, "clear");
    QCOMPARE(line.readFor(400), QByteArray());
    QVERIFY(line.holdOutput(false));
    QCOMPARE(line.readExactly(messageBytes(text, option).size(), 10000), messageBytes(text, option));
    if (clear) QCOMPARE(line.readExactly(kClearCommand.size()), kClearCommand);
    QCOMPARE(line.readExactly(3 * kUpdateCommand.size()), kUpdateCommand.repeated(3));
    const QJsonObject sent = next(u"/event"_qs, {{u"event"_qs, u"text-sent"_qs}, {u"frames"_qs, frames}});
    QVERIFY2(sent[u"ms"].toDouble() >= 200, qPrintable(QString::number(sent[u"ms"].toDouble())));
    const QJsonObject shown = next(u"/status"_qs, {{u"text"_qs, text}, {u"frames"_qs, frames}, {u"name"_qs, name_},
                                                    {u"speed"_qs, option}, {u"autoUpdate"_qs, false}});
    QCOMPARE(shown[u"unusable"].toVariant(), QJsonDocument::fromJson(unusable).toVariant());
    QCOMPARE(sent[u"unusable"], shown[u"unusable"][0]);
    QCOMPARE(shown[u"face"].toObject(), (QJsonObject{{u"text"_qs, face}, {u"dotsPerSecond"_qs, dotsPerSecond}}));
    QCOMPARE(shown[u"groups"].toArray(), (QJsonArray{u"other"_qs, u"hall"_qs}));
    for (const QString &time : {shown[u"since"].toString(), sent[u"time"].toString()})
      QVERIFY2(QDateTime::fromString(time, Qt::ISODateWithMs).isValid() &&
               qAbs(QDateTime::fromString(time, Qt::ISODateWithMs).secsTo(QDateTime::currentDateTimeUtc())) < 30, qPrintable(time));
  }
  // A check request (MQTT 5: a response topic and correlation data) is answered with what "変換 + 送信" would make
  // of the text; nothing goes to the line. One whose answer could land anywhere but the reply topics, or that is
  // retained, is refused.
  void checkRequests_data() {
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QStringList>("how");  // mosquitto_rr's options besides the request topic
    QTest::addColumn<QByteArray>("answer");  // correlation data, then the answer; or "refused/REASON"
    const QStringList reply{u"-e"_qs, u"vf3360/reply/console-1/a"_qs, u"-D"_qs, u"publish"_qs, u"correlation-data"_qs, u"req-7"_qs};
    QTest::newRow("unusable characters") << QByteArray("髙島屋😀ｶﾞ") << reply
        << QByteArray(R"(req-7 {"characters":7,"frames":1,"limit":2033,"unusable":[{"character":"髙","codePoint":"U+9AD9","from":0,"to":1},)"
                      R"({"character":"😀","codePoint":"U+1F600","from":3,"to":5}]})");
    QTest::newRow("over 2033") << QString(2034, u'字').toUtf8() << reply
        << QByteArray(R"(req-7 {"characters":2034,"frames":0,"limit":2033,"reason":"too-long","unusable":[],"why":"文字数オーバー（2034文字、最大2033文字）"})");
    QTest::newRow("not UTF-8") << QByteArray("\xE3\x81") << reply << QByteArray(R"(req-7 {"limit":2033,"reason":"not-utf8","why":"the payload is not UTF-8"})");
    QTest::newRow("answer on its text topic") << QByteArray("a") << QStringList{u"-e"_qs, u"vf3360/%1/text"_qs} << QByteArray("refused/bad-response-topic");
    QTest::newRow("retained") << QByteArray("a") << QStringList{} << QByteArray("refused/retained-check");  // mosquitto_pub -r
  }
  void checkRequests() {
    QFETCH(QByteArray, payload);
    QFETCH(QStringList, how);
    QFETCH(QByteArray, answer);
    vf::PseudoTerminal line;
    startBridge(line.path());
    QVERIFY(!status(u"online"_qs).isEmpty());
    QTemporaryFile file;
    QVERIFY(file.open() && file.write(payload) == payload.size() && file.flush());
    QProcess request;
    if (how.isEmpty()) publish(topic(u"check"_qs), payload, true);
    // mosquitto_rr sends nothing of -f or -s: the bytes go as its argument.
    else request.start(u"sh"_qs, QStringList{u"-c"_qs, u"exec mosquitto_rr \"$@\" -m \"$(cat \"$0\")\""_qs, file.fileName()} + broker_.args() +
                                     QStringList{u"-t"_qs, topic(u"check"_qs), u"-W"_qs, u"3"_qs, u"-F"_qs, u"%D %p"_qs} + how.replaceInStrings(u"%1"_qs, name_));
    QVERIFY(how.isEmpty() || request.waitForFinished(10000));
    if (answer.startsWith("refused/")) {
      QVERIFY(!next(u"/event"_qs, {{u"event"_qs, u"refused"_qs}, {u"reason"_qs, QString::fromUtf8(answer.mid(8))}}).isEmpty());
    } else {
      QCOMPARE(request.readAllStandardOutput().trimmed(), answer);
    }
    QCOMPARE(line.readFor(300), QByteArray());
  }
  // Commands and the cue reply go to the line as the program sends them, with an event; what the
  // program would not send is refused with the reason as an event, and nothing goes to the line.
  void commands_data() {
    QTest::addColumn<QString>("leaf");
    QTest::addColumn<QByteArray>("payload");  // "reply": what the module says
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<QString>("event");  // its kind, for a refusal /reason and its words (in the log too, quoted)
    QTest::newRow("clear") << "command" << QByteArray("clear") << kClearCommand << "command";
    QTest::newRow("rewind") << "command" << QByteArray(" rewind\n") << kDataCueCommand << "command";
    QTest::newRow("cue reply") << "reply" << QByteArray::fromHex("0000C000") << kDataCueCommand << "cue-answered";
    QTest::newRow("not UTF-8") << "text" << QByteArray("a \xE3\x81") << QByteArray() << "refused/not-utf8: not UTF-8";
    QTest::newRow("over 64 KiB") << "text" << QByteArray(64 * 1024 + 1, 'a') << QByteArray() << "refused/too-large: larger than 64 KiB";
    QTest::newRow("over 2033") << "text" << QString(2034, u'字').toUtf8() << QByteArray() << "refused/too-long: 文字数オーバー（2034文字、最大2033文字）";
    QTest::newRow("empty: taken down") << "text" << QByteArray() << kClearCommand << "text-taken-down";
    QTest::newRow("speed 6") << "speed" << QByteArray("6") << QByteArray() << "refused/bad-speed: speed is 1 to 5";
    QTest::newRow("speed fast") << "speed" << QByteArray("fast") << QByteArray() << "refused/bad-speed: speed is 1 to 5";
    QTest::newRow("unknown command, forging a line") << "command" << "explode\nvf3360-bridge x: \x1b[31m" + QByteArray(100, 'x') << QByteArray()
                                                     << "refused/unknown-command: \"explode\\x0Avf3360-bridge x: \\x1B[31m" + QString(50, u'x') + "…\"";
  }
  void commands() {
    QFETCH(QString, leaf);
    QFETCH(QByteArray, payload);
    QFETCH(QByteArray, expected);
    QFETCH(QString, event);
    vf::PseudoTerminal line;
    startBridge(line.path());
    QVERIFY(!status(u"online"_qs).isEmpty());
    if (leaf == u"reply") QVERIFY(line.write(payload));
    else publish(topic(leaf), payload);
    QCOMPARE(line.readExactly(expected.size(), 10000), expected);
    const QJsonObject told = next(u"/event"_qs, {});
    const QString kind = event.section(u": "_qs, 0, 0), why = event.section(u": "_qs, 1);
    QVERIFY2(told[u"event"] == kind.section(u'/', 0, 0) && told[u"reason"].toString() == kind.section(u'/', 1) &&
             told[u"why"].toString().contains(why), qPrintable(QJsonDocument(told).toJson()));
    QByteArray said;
    if (kind.startsWith(u"refused")) QTRY_VERIFY((said += bridge_.readAllStandardError()).contains(" refused: " + told[u"why"].toString().toUtf8() + '\n'));
    QVERIFY(!said.contains('\x1b'));
    QCOMPARE(line.readFor(300), QByteArray());  // and nothing more
  }

  // Auto update by command: switched on, the update command goes out every 20 ms until it is switched off (that a
  // reply does not stop it is the display session's rule, tested there). After a text it goes out until the text is
  // taken down (an empty retained payload: the display cleared, the status without a text).
  void autoUpdate_data() {
    QTest::addColumn<QString>("leaf");
    QTest::addColumn<QByteArray>("payload");
    QTest::newRow("switched on, then off") << "command" << QByteArray("auto-update on");
    QTest::newRow("after a text, taken down") << "text" << QByteArray("あ");
  }
  void autoUpdate() {
    QFETCH(QString, leaf);
    QFETCH(QByteArray, payload);
    vf::PseudoTerminal line;
    startBridge(line.path());
    QVERIFY(!status(u"online"_qs).isEmpty());
    publish(topic(leaf), payload);
    if (leaf == u"text") QCOMPARE(line.readExactly(messageBytes(u"あ"_qs, 1).size(), 10000), messageBytes(u"あ"_qs, 1));
    QVERIFY(updates(line, 500) >= 10);  // 25 when nothing delays them
    if (leaf == u"text") {
      publish(topic(leaf), {}, true);
      QVERIFY(line.readExactly(1 << 20, 1000).endsWith(kClearCommand));
      QJsonObject last;
      for (QJsonObject told; !(told = next(u"/status"_qs, {}, 300)).isEmpty();) last = told;
      QVERIFY(last[u"text"] == u""_qs && updates(line, 500) == 0);
      return;
    }
    publish(topic(leaf), "auto-update off");
    QVERIFY(updates(line, 200) >= 0);
    QCOMPARE(updates(line, 500), 0);
  }

  // Started, the bridge takes retained speeds before texts, a group's text before its own, and no retained command.
  // While a message is on the line, the newest text waits and the others are told superseded. Killed, the broker
  // publishes the last will; stopped by SIGTERM, SIGINT or SIGHUP, it says "offline", lets the line take the message
  // on it, sends nothing that waits and ends with 0 within 5 s. The broker keeps the status, no event, and the QoS 1
  // texts published meanwhile.
  void goesOffline_data() {
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGKILL") << int(SIGKILL);
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
    QTest::newRow("SIGHUP") << int(SIGHUP);
  }
  void goesOffline() {
    QFETCH(int, signal);
    publish(topic(u"speed"_qs), "3", true);
    publish(topic(u"command"_qs), "clear", true);
    publish(QStringLiteral("vf3360/group/%1-all/text").arg(name_), "グループ", true);
    publish(topic(u"text"_qs), "再起動", true);
    vf::PseudoTerminal line;
    startBridge(line.path(), {u"--group"_qs, name_ + u"-all"_qs});
    QCOMPARE(shownOn(line, 2), QStringList({u"グループ 2"_qs, u"再起動 2"_qs}));
    if (signal != SIGKILL) {  // a text that the line holds back, and 30 more
      QVERIFY(line.holdOutput(true));
      publish(topic(u"text"_qs), QString(2033, u'終').toUtf8());
      QByteArray flood;
      for (int i = 1; i <= 30; ++i) flood += QStringLiteral("波%1\n").arg(i).toUtf8();
      publish(topic(u"text"_qs), flood, false, true);
      for (int told = 0; told != 29;) QVERIFY2((told += event(u"text-superseded"_qs)[u"count"].toInt(-99)) >= 0, "superseded");
      QCOMPARE(next(u"/status"_qs, {{u"sending"_qs, QString(2033, u'終')}, {u"waiting"_qs, QJsonArray{QJsonObject{{u"text"_qs, u"波30"_qs}}}}})[u"text"],
               u"再起動"_qs);
    }
    QElapsedTimer stopping;
    stopping.start();
    ::kill(pid_t(bridge_.processId()), signal);
    QCOMPARE(status(u"offline"_qs)[u"_qos"].toInt(), 1);
    QVERIFY(line.holdOutput(false));
    QTRY_COMPARE_WITH_TIMEOUT(bridge_.state(), QProcess::NotRunning, 10000);
    if (signal != SIGKILL) QVERIFY(bridge_.exitStatus() == QProcess::NormalExit && bridge_.exitCode() == 0 && stopping.elapsed() < 5000);
    if (signal != SIGKILL) QCOMPARE(shownOn(line, 1), QStringList{QString(2033, u'終') + u" 2"_qs});  // nothing that waited
    QProcess newcomer;
    newcomer.start(u"mosquitto_sub"_qs, broker_.args() + QStringList{u"--retained-only"_qs, u"-W"_qs, u"1"_qs, u"-v"_qs, u"-t"_qs, topic(u"+"_qs)});
    const QByteArray kept = newcomer.waitForFinished(10000) ? newcomer.readAllStandardOutput() : QByteArray();
    // Its own "offline" (with the text shown), not the will (without): the broker was told goodbye.
    QVERIFY2(kept.contains("\"state\":\"offline\"") && kept.contains("\"text\":") == (signal != SIGKILL) && !kept.contains("/event "),
             kept.constData());
    // Started again, it shows the newest text it was given, then the newest of those published meanwhile (queued).
    publish(QStringLiteral("vf3360/group/%1-all/text").arg(name_), "グループ留守中", true);
    publish(topic(u"text"_qs), "留守中");
    startBridge(line.path(), {u"--group"_qs, name_ + u"-all"_qs});
    QCOMPARE(shownOn(line, 2), QStringList({signal == SIGKILL ? u"再起動 2"_qs : u"波３０ 2"_qs, u"留守中 2"_qs}));
  }

  // Stopped while the broker answers nothing (the broker itself stopped), the bridge still ends, with 0.
  void stopsWhileBrokerSilent() {
    vf::PseudoTerminal line;
    startBridge(line.path());
    QVERIFY(!status(u"online"_qs).isEmpty());
    ::kill(pid_t(broker_.process.processId()), SIGSTOP);
    ::kill(pid_t(bridge_.processId()), SIGTERM);
    const bool ended = QTest::qWaitFor([&] { return bridge_.state() == QProcess::NotRunning; }, 10000);
    ::kill(pid_t(broker_.process.processId()), SIGCONT);
    QVERIFY(ended && bridge_.exitCode() == 0);
  }

  // A device missing at the start is tried every 2 s: a text taken meanwhile is shown once it is there,
  // at its own speed. Gone, it is tried again, a failed try says why, a clear taken meanwhile is what it shows when
  // back, and "offline" has no error.
  void deviceLostAndBack() {
    QTemporaryDir dir;
    const QString device = dir.filePath(u"module"_qs);
    startBridge(device);
    QVERIFY(!status(u"no-device"_qs)[u"error"].toString().isEmpty());
    publish(topic(u"speed"_qs), "3");
    publish(topic(u"text"_qs), "戻った");
    QVERIFY(!event(u"text-waiting"_qs).isEmpty());
    publish(topic(u"speed"_qs), "1");
    QVERIFY(!next(u"/status"_qs, {{u"speed"_qs, 1}}).isEmpty());
    vf::PseudoTerminal line;
    QVERIFY(QFile::link(line.path(), device));
    QCOMPARE(line.readExactly(messageBytes(u"戻った"_qs, 3).size(), 10000), messageBytes(u"戻った"_qs, 3));
    QVERIFY(!event(u"device-back"_qs).isEmpty());
    QVERIFY(!next(u"/status"_qs, {{u"state"_qs, u"online"_qs}, {u"text"_qs, u"戻った"_qs}}).isEmpty());
    line.closeFarEnd();
    QVERIFY(!event(u"device-lost"_qs).isEmpty());
    const QString lost = status(u"no-device"_qs)[u"error"].toString();
    const QString retried = status(u"no-device"_qs)[u"error"].toString();
    QVERIFY2(!retried.isEmpty() && retried != lost, qPrintable(lost + u" / "_qs + retried));
    publish(topic(u"command"_qs), "clear");
    vf::PseudoTerminal back;
    QVERIFY(QFile::remove(device) && QFile::link(back.path(), device));
    QCOMPARE(back.readExactly(kClearCommand.size(), 10000), kClearCommand);
    back.closeFarEnd();  // gone again when it stops
    QVERIFY(!status(u"no-device"_qs)[u"error"].toString().isEmpty());
    ::kill(pid_t(bridge_.processId()), SIGTERM);
    const QJsonObject offline = status(u"offline"_qs);
    QVERIFY(!offline.isEmpty() && !offline.contains(u"error"));
  }

  // The broker stops and starts again: the bridge connects again, publishes its status anew and
  // takes texts as before, also from a broker that has forgotten its subscriptions. A retained text
  // handed over again is not sent again, whatever came after it; one published anew always is.
  void brokerStoppedAndStarted_data() {
    QTest::addColumn<bool>("keep");
    QTest::addColumn<QString>("meanwhile");  // leaf:payload, after the retained text was shown
    QTest::addColumn<QStringList>("shown");  // after the start, the same text published anew last
    QTest::newRow("keeps sessions and retained texts") << true << "" << QStringList{"そのまま 0"};
    QTest::newRow("cleared") << true << "command:clear" << QStringList{"display-clear", "そのまま 0"};
    QTest::newRow("another speed") << true << "speed:2" << QStringList{"そのまま 1"};
    QTest::newRow("a newer text") << true << "text:新しい" << QStringList{"新しい 0", "そのまま 0"};
    QTest::newRow("forgets them (from here on)") << false << "" << QStringList{"そのまま 0"};
  }
  void brokerStoppedAndStarted() {
    QFETCH(bool, keep);
    QFETCH(QString, meanwhile);
    QFETCH(QStringList, shown);
    vf::PseudoTerminal line;
    startBridge(line.path());
    const QString before = status(u"online"_qs)[u"connected"].toString();
    publish(topic(u"text"_qs), "そのまま", true);
    QCOMPARE(line.readExactly(messageBytes(u"そのまま"_qs, 1).size(), 10000), messageBytes(u"そのまま"_qs, 1));
    if (!meanwhile.isEmpty()) publish(topic(meanwhile.section(u':', 0, 0)), meanwhile.section(u':', 1).toUtf8());
    QVERIFY(!next(u"/status"_qs, {{u"text"_qs, meanwhile == u"command:clear" ? u""_qs : meanwhile.startsWith(u"text:") ? meanwhile.mid(5) : u"そのまま"_qs},
                                  {u"speed"_qs, meanwhile == u"speed:2" ? 2 : 1}}).isEmpty());
    broker_.stop();
    QVERIFY(broker_.start(keep));
    QJsonObject again;
    do again = status(u"online"_qs);
    while (!again.isEmpty() && again[u"connected"].toString() == before);
    QVERIFY(!again.isEmpty());
    if (keep && meanwhile.isEmpty())  // its session taken over by a client of its name, it comes back at once
      QVERIFY(!QProcess::execute(u"mosquitto_pub"_qs, broker_.args() + QStringList{u"-c"_qs, u"-i"_qs, u"vf3360-"_qs + name_, u"-t"_qs, u"x"_qs, u"-n"_qs})
              && !status(u"online"_qs).isEmpty() && !event(u"text-unchanged"_qs).isEmpty());
    publish(topic(u"text"_qs), "そのまま");
    QCOMPARE(shownOn(line, shown.size()), shown);
  }

  // Tries at a broker that is not there: each pause twice the last up to the longest (by default 1 s up to 30 s), a
  // quarter more or less at random. Once in, pings keep the connection up, and the next loss starts at the first pause.
  void retryPauses() {
    const vf::BrokerSettings defaults;  // and a keep-alive of 30 s: a dead bridge's will comes within 45 s
    QCOMPARE(std::tuple(defaults.firstRetryMs, defaults.longestRetryMs, defaults.keepAliveSeconds), std::tuple(1000, 30000, 30));
    broker_.stop();
    vf::MqttClient client({.host = u"127.0.0.1"_qs, .port = broker_.port, .clientId = u"retry-test"_qs, .username = {}, .password = {},
                           .caFile = {}, .keepAliveSeconds = 5, .willTopic = {}, .willPayload = {}, .firstRetryMs = 20, .longestRetryMs = 160});
    QList<int> pauses;
    connect(&client, &vf::MqttClient::connectionLost, [&](const QString &, int pauseMs) { pauses << pauseMs; });
    QVERIFY(client.start().isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(pauses.size() >= 7, 10000);
    const int nominal[] = {20, 40, 80, 160, 160, 160, 160};
    for (int i = 0; i < 7; ++i)
      QVERIFY2(pauses[i] >= nominal[i] * 3 / 4 && pauses[i] <= nominal[i] * 5 / 4, qPrintable(QString::number(pauses[i])));
    QVERIFY(broker_.start());
    QTRY_VERIFY_WITH_TIMEOUT(client.isConnected(), 10000);
    const qsizetype in = pauses.size();
    QVERIFY(!QTest::qWaitFor([&] { return pauses.size() > in; }, 9000));  // the broker gives up after 1.5 keep-alives
    QFile log(broker_.dir.filePath(u"broker.log"_qs));  // pinged all the while, as the broker saw
    QVERIFY(log.open(QIODevice::ReadOnly) && log.readAll().contains("Received PINGREQ from retry-test"));
    broker_.stop();
    QTRY_VERIFY_WITH_TIMEOUT(pauses.size() > in, 10000);
    QVERIFY2(pauses[in] >= 15 && pauses[in] <= 25, qPrintable(QString::number(pauses[in])));
    QVERIFY(broker_.start());
  }

  // The shipped broker set-up, its listeners on free ports and its files in a folder of the test's, with a TLS
  // listener on a CA of the test's and two more (a certificate for another host name, one expired): each refusal is
  // named, and one for good ends the bridge with 3. A client of another user that asks for the bridge's client id
  // does not get its session.
  void site_data() {
    QTest::addColumn<QString>("user");  // a bridge's user, password "pw-" + user; "" a wrong password
    QTest::addColumn<QString>("broker");  // %1 plain, %2 TLS, %3 TLS for another name, %4 TLS expired
    QTest::addColumn<QString>("cafile");
    QTest::addColumn<int>("status");  // -1: runs on
    QTest::addColumn<QString>("said");
    QTest::newRow("its own user") << "vf3360-hall-1" << "127.0.0.1:%1" << "" << -1 << "connected to the broker";
    QTest::newRow("wrong password") << "" << "127.0.0.1:%1" << "" << 3 << "refused the connection: Not authorized (0x87) (user \"vf3360-hall-1\")";
    QTest::newRow("another display's user") << "vf3360-hall-2" << "127.0.0.1:%1" << "" << -1 << "not let this display publish to vf3360/hall-1/status: Not authorized (0x87)";
    QTest::newRow("TLS") << "vf3360-hall-1" << "mqtts://127.0.0.1:%2" << "ca" << -1 << "connected to the broker";
    QTest::newRow("unknown CA") << "vf3360-hall-1" << "mqtts://127.0.0.1:%2" << "other" << -1 << "is not signed by a CA of @other (unknown CA)";
    QTest::newRow("host name") << "vf3360-hall-1" << "mqtts://127.0.0.1:%3" << "ca" << -1 << "is not made out to the host name \"127.0.0.1\"";
    QTest::newRow("expired") << "vf3360-hall-1" << "mqtts://127.0.0.1:%4" << "ca" << -1 << "certificate has expired";
    QTest::newRow("no such host") << "vf3360-hall-1" << "mqtt://vf3360-nowhere.invalid" << "" << -1 << "\"vf3360-nowhere.invalid\" does not resolve";
  }
  void site() {
    QFETCH(QString, user);
    QFETCH(QString, broker);
    QFETCH(QString, cafile);
    QFETCH(int, status);
    QFETCH(QString, said);
    static Site site;  // one for all rows
    static const QList<quint16> other = Broker::freePorts(2);  // TLS for another name, TLS expired
    const QString dir = site.broker.dir.path() + u'/';
    if (site.broker.site.isEmpty()) {
      QVERIFY(site.certificate(u"ca"_qs, {}, {}, 0) && site.certificate(u"other"_qs, {}, {}, 0) && site.certificate(u"name"_qs, u"ca"_qs, u"DNS:elsewhere.invalid"_qs, 2) &&
              site.certificate(u"expired"_qs, u"ca"_qs, u"IP:127.0.0.1"_qs, -1));
      QString more;
      for (int i : {1, 2})
        more += QStringLiteral("listener %1 127.0.0.1\ncertfile %2%3.crt\nkeyfile %2%3.key\n").arg(other[i - 1]).arg(dir, i == 1 ? u"name"_qs : u"expired"_qs);
      QVERIFY(site.start({u"vf3360-hall-1"_qs, u"vf3360-hall-2"_qs, u"operator"_qs}, dir, {}, more));
    }
    qputenv("VF3360_MQTT_PASSWORD", user.isEmpty() ? "falsch" : "pw-" + user.toUtf8());
    const QList<quint16> ports{site.broker.port, site.ports[0], other[0], other[1]};
    for (int i = 0; i < 4; ++i) broker.replace(u'%' + QString::number(i + 1), QString::number(ports[i]));
    QStringList args{u"--name"_qs, u"hall-1"_qs, u"--device"_qs, dir + u"none"_qs, u"--broker"_qs, broker, u"--username"_qs, user.isEmpty() ? u"vf3360-hall-1"_qs : user};
    if (!cafile.isEmpty()) args << u"--cafile"_qs << dir + cafile + u".crt"_qs;
    bridge_.start(QStringLiteral(VF3360_BRIDGE_PATH), args);
    QByteArray log;
    QTRY_VERIFY2_WITH_TIMEOUT((log += bridge_.readAllStandardError()).contains(said.replace(u"@other"_qs, dir + u"other.crt"_qs).toUtf8()), log.constData(), 30000);
    if (status >= 0) QVERIFY((bridge_.state() == QProcess::NotRunning || bridge_.waitForFinished(5000)) && bridge_.exitCode() == status);
    if (status >= 0 || !log.contains("connected")) return;
    QVERIFY(!QProcess::execute(u"mosquitto_pub"_qs, {u"-p"_qs, QString::number(site.broker.port), u"-u"_qs, u"operator"_qs, u"-P"_qs, u"pw-operator"_qs,
                                                   u"-i"_qs, u"vf3360-hall-1"_qs, u"-t"_qs, u"vf3360/hall-1/text"_qs, u"-m"_qs, u"a"_qs}));
    QTest::qWait(1500);
    QVERIFY2(bridge_.state() == QProcess::Running && !(log += bridge_.readAllStandardError()).contains("next try"), log);
  }

  // A broker that answers denied subscriptions (Mosquitto's dynamic-security plugin, here denying all by default):
  // each is logged with its topic and reason, and with none of its text topics the bridge ends with 3.
  void deniedSubscriptions() {
    QString plugin;
    for (QDirIterator it(u"/usr/lib"_qs, {u"mosquitto_dynamic_security.so"_qs}, QDir::Files, QDirIterator::Subdirectories); it.hasNext();) plugin = it.next();
    if (plugin.isEmpty()) QSKIP("no mosquitto_dynamic_security.so under /usr/lib (Debian package mosquitto)");
    Broker dynamic;
    QFile rules(dynamic.dir.filePath(u"dynsec.json"_qs));
    QVERIFY(rules.open(QIODevice::WriteOnly) && rules.write(R"({"defaultACLAccess":{"publishClientSend":false,"publishClientReceive":true,)"
                                                           R"("subscribe":false,"unsubscribe":true},"clients":[],"groups":[],"roles":[]})"));
    rules.close();
    dynamic.site = u"listener %1 127.0.0.1\nallow_anonymous true\nplugin "_qs + plugin + u"\nplugin_opt_config_file "_qs + rules.fileName();
    QVERIFY(dynamic.start(false));
    bridge_.start(QStringLiteral(VF3360_BRIDGE_PATH), {u"--name"_qs, u"d"_qs, u"--group"_qs, u"g"_qs, u"--device"_qs, dynamic.dir.filePath(u"none"_qs),
                                                       u"--broker"_qs, u"127.0.0.1:"_qs + QString::number(dynamic.port)});
    QVERIFY(bridge_.waitForFinished(10000));
    const QByteArray log = bridge_.readAllStandardError();
    // (Whether the refused status is told before the end depends on which answer comes first; the site's test tells it.)
    QVERIFY2(bridge_.exitCode() == 3 && log.contains("not let this display subscribe to vf3360/group/g/text: Not authorized (0x87)") &&
             log.contains("none of the display's text topics"), log.right(600).constData());
  }

  // Two bridges of one name take the session from each other: each says so and tells it once connected again, and
  // backs off as from a lost broker (1, 2, 4 s ...) instead of taking it back every second.
  void sessionTakenOver() {
    vf::PseudoTerminal line;
    startBridge(line.path());
    QVERIFY(!status(u"online"_qs).isEmpty());
    QProcess twin;
    twin.start(QStringLiteral(VF3360_BRIDGE_PATH), {u"--name"_qs, name_, u"--device"_qs, line.path() + u"-none"_qs, u"--broker"_qs,
                                                    QStringLiteral("127.0.0.1:%1").arg(broker_.port)});
    QCOMPARE(next(u"/event"_qs, {{u"event"_qs, u"taken-over"_qs}, {u"count"_qs, 1}, {u"reason"_qs, u"client-id-taken"_qs}})[u"clientId"],
             u"vf3360-"_qs + name_);
    QTest::qWait(8000);
    const int fights = (bridge_.readAllStandardError() + twin.readAllStandardError()).count("another client took over client id `vf3360-" + name_.toUtf8() + '`');
    twin.kill();
    twin.waitForFinished();
    QVERIFY2(fights >= 3 && fights <= 6, qPrintable(QString::number(fights)));
  }

  // The settings from the command line, a settings file and the environment (here always with a
  // password): --check shows them and ends with 0; bad ones end the bridge with 2 and a reason.
  void options_data() {
    QTest::addColumn<QStringList>("args");  // @file: the settings file
    QTest::addColumn<QString>("config");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("said");  // the whole of --check, or in the reason
    QTest::newRow("from the file") << QStringList{"--check", "--cafile", "@ca", "--username", "u"}
                                   << "# a comment\n; port = 9\nname = a_1\nport = 1\nport = 2\nusb = yes\ngroup = g_1\ngroup = h\n" << 0
                                   << "name: a_1\ngroups: g_1 h\nmodule: /dev/ttyUSB1\nbroker: localhost:8883 (TLS, CA @ca)\n"
                                      "username: u\npassword: from VF3360_MQTT_PASSWORD\n";
    QTest::newRow("the command line wins") << QStringList{"--check", "--name", "b", "--device", "/dev/x", "--username", "u"}
                                           << "name = a\nport = 1\nusb = yes\n" << 0 << "name: b\ngroups: (none)\nmodule: /dev/x\n";
    QTest::newRow("not the instance") << QStringList{"--name", "a", "--port", "1", "--instance", "b"} << "" << 2 << "the settings name the display \"a\", but this is the service of \"b\"";
    QTest::newRow("no module") << QStringList{"--name", "a"} << "" << 2 << "no module given";
    QTest::newRow("bad name") << QStringList{"--name", "a/b", "--port", "1"} << "" << 2 << "letters, digits";
    QTest::newRow("name group") << QStringList{"--name", "group", "--port", "1"} << "" << 2 << "(and not \"group\")";
    QTest::newRow("bad group") << QStringList{"--name", "a", "--group", "#", "--port", "1"} << "" << 2 << "--group \"#\"";
    QTest::newRow("stray word") << QStringList{"--name", "a", "--port", "1", "hall-1"} << "" << 2 << "unexpected \"hall-1\"";
    QTest::newRow("device and port") << QStringList{"--name", "a", "--device", "/dev/x", "--port", "1"} << "" << 2 << "give either --device";
    QTest::newRow("usb alone") << QStringList{"--name", "a", "--device", "/dev/x", "--usb"} << "" << 2 << "--usb belongs to --port";
    QTest::newRow("port 0") << QStringList{"--name", "a", "--port", "0"} << "" << 2 << "--port takes a number from 1 to 16";
    QTest::newRow("empty device") << QStringList{"--name", "a", "--device="} << "" << 2 << "--device needs a path";
    QTest::newRow("mqtt URL") << QStringList{"--check", "--name", "a", "--port", "1", "--username", "u", "--broker", "mqtt://h:99/"} << "" << 0 << "broker: h:99\n";
    QTest::newRow("mqtts URL") << QStringList{"--check", "--name", "a", "--port", "1", "--username", "u", "--broker", "MQTTS://h"} << "" << 0 << "broker: h:8883 (TLS, the system's CAs)\n";
    QTest::newRow("other URL") << QStringList{"--name", "a", "--port", "1", "--broker", "ws://h"} << "" << 2 << "mqtt:// or mqtts:// only (ws:// is not";
    QTest::newRow("user in URL") << QStringList{"--name", "a", "--port", "1", "--broker", "mqtt://u:p@h"} << "" << 2 << "no user name or password in the URL";
    QTest::newRow("mqtt and CA") << QStringList{"--name", "a", "--port", "1", "--broker", "mqtt://h", "--cafile", "@ca"} << "" << 2 << "use mqtts://";
    QTest::newRow("CA file no certificate") << QStringList{"--name", "a", "--port", "1", "--cafile", "@file"} << "" << 2 << "holds no certificate";
    QTest::newRow("CA file missing") << QStringList{"--name", "a", "--port", "1", "--cafile", "@file-none"} << "" << 2 << "-none: cannot read it";
    QTest::newRow("bad broker") << QStringList{"--name", "a", "--port", "1", "--broker", "[::1]:99999"} << "" << 2 << "HOST or HOST:PORT";
    QTest::newRow("password, no user") << QStringList{"--name", "a", "--port", "1"} << "" << 2 << "PASSWORD is set but no --username";
    QTest::newRow("password in the file") << QStringList{} << "name = a\n port = 1\npassword = x\n" << 2 << ":3: the password is taken";
    QTest::newRow("unknown key") << QStringList{} << "name = a\nport = 1\ncolour = red\n" << 2 << ":3: unknown key \"colour\"";
  }
  void options() {
    QFETCH(QStringList, args);
    QFETCH(QString, config);
    QFETCH(int, status);
    QFETCH(QString, said);
    QTemporaryFile file;
    QVERIFY(file.open() && file.write(config.toUtf8()) >= 0);
    file.close();
    qputenv("VF3360_MQTT_PASSWORD", "geheim");
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    static QTemporaryDir pki;  // @ca: a CA's certificate
    static const QString ca = pki.filePath(u"ca.crt"_qs);
    QVERIFY(QFile::exists(ca) || !QProcess::execute(u"openssl"_qs, QProcess::splitCommand(u"req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 "
                                                                                           "-nodes -keyout %1.key -out %1 -subj /CN=ca"_qs.arg(ca))));
    p.start(QStringLiteral(VF3360_BRIDGE_PATH), args.replaceInStrings(u"@file"_qs, file.fileName()).replaceInStrings(u"@ca"_qs, ca) << u"--config"_qs << file.fileName());
    QVERIFY(p.waitForFinished(10000));
    const QString out = QString::fromUtf8(p.readAll());
    QVERIFY2(p.exitCode() == status && out.contains(said.replace(u"@ca"_qs, ca)), qPrintable(out));
  }
};

QTEST_GUILESS_MAIN(BridgeTest)
#include "tst_bridge.moc"
