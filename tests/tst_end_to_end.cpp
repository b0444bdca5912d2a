// The whole program end to end: the real main window (offscreen), started the
// way the program starts (its folder's portnum.ini, the device given for the
// stored port), writes to a pseudo-terminal that vf3360-sim holds, and the
// virtual module's JSON report says what arrived. Texts come back whole with
// every check passing, the cue reply of both kinds is answered, and auto
// update starts and stops when it should.

#include "tests/port_window_harness.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>

using namespace harness;

namespace {

constexpr int kTimeoutMs = 10000;

// vf3360-sim in a QProcess. Its lines are read while the window's event loop
// keeps running, so that the window can write to its port meanwhile.
class SimProcess {
 public:
  explicit SimProcess(const QStringList &args) {
    process.start(QStringLiteral(VF3360_SIM_PATH), QStringList{QStringLiteral("--json")} + args);
    if (process.waitForStarted(kTimeoutMs)) device = readLine();
  }
  ~SimProcess() {
    if (process.state() == QProcess::NotRunning) return;
    process.terminate();
    if (!process.waitForFinished(kTimeoutMs)) process.kill();
    process.waitForFinished(kTimeoutMs);
  }

  QString readLine(int timeoutMs = kTimeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    while (!process.canReadLine()) {
      if (deadline.hasExpired() || process.state() == QProcess::NotRunning) return {};
      QTest::qWait(2);
    }
    return QString::fromUtf8(process.readLine()).chopped(1);
  }

  QJsonObject nextEvent(int timeoutMs = kTimeoutMs) {
    const QJsonObject e = QJsonDocument::fromJson(readLine(timeoutMs).toUtf8()).object();
    seen.append(e);
    return e;
  }

  // Events up to and including the first one named `name`; empty on timeout.
  QList<QJsonObject> until(const QString &name, int timeoutMs = kTimeoutMs) {
    QList<QJsonObject> got;
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
      const QJsonObject e = nextEvent(static_cast<int>(qMax<qint64>(1, deadline.remainingTime())));
      if (e.isEmpty()) return {};
      got.append(e);
      if (e[QStringLiteral("event")].toString() == name) return got;
    }
  }

  bool say(const QByteArray &line) { return process.write(line) == line.size() && process.waitForBytesWritten(kTimeoutMs); }

  QProcess process;
  QString device;
  QList<QJsonObject> seen;  // every event read so far
};

QString eventName(const QJsonObject &e) { return e[QStringLiteral("event")].toString(); }

int countOf(const QList<QJsonObject> &events, const QString &name) {
  return static_cast<int>(std::count_if(events.begin(), events.end(), [&](const QJsonObject &e) { return eventName(e) == name; }));
}

// Everything the module reported that is not what a sound message looks like.
QStringList faultsIn(const QList<QJsonObject> &events) {
  QStringList out;
  for (const QJsonObject &e : events) {
    const QString name = eventName(e);
    if (name == QStringLiteral("fault") || name == QStringLiteral("cue-reply-failed") ||
        ((name == QStringLiteral("packet") || name == QStringLiteral("message")) && !e[QStringLiteral("ok")].toBool()) ||
        (name == QStringLiteral("packet") && !e[QStringLiteral("faults")].toArray().isEmpty()))
      out << QString::fromUtf8(QJsonDocument(e).toJson(QJsonDocument::Compact));
  }
  return out;
}

// What the module shows for a normalised text: it codes a carriage return and
// a line feed each as a full-width blank.
QString shownOnModule(QString text) {
  for (QChar &ch : text)
    if (ch == u'\r' || ch == u'\n') ch = QChar(0x3000);
  return text;
}

// 127 characters in frame 1, 128 in each further frame.
int framesFor(qsizetype length) { return length <= 127 ? 1 : 1 + static_cast<int>((length - 127 + 127) / 128); }

// The speed code of frame 1 for each speed option: 0 fastest, options 4 and 5 alike.
int speedCodeOf(int option) { return option >= 4 ? 3 : option - 1; }

QString repeatedTo(const QString &sample, qsizetype length) {
  QString text;
  while (text.size() < length) text += sample;
  text.truncate(length);
  return text;
}

}  // namespace

class EndToEndTest : public QObject {
  Q_OBJECT

  // The window started from a portnum.ini holding `code`, every port number
  // naming the module's device, as "vf3360 --device PATH" does.
  static void start(PortRig &rig, const SimProcess &sim, const QByteArray &code) {
    const QString device = sim.device;
    rig.window->setDeviceNamer([device](int, int) { return device; });
    QVERIFY(rig.writeIni(code + "\r\n"));
    rig.w().Form_Load();
    QVERIFY2(rig.w().port().isOpen(), qPrintable(rig.messages().join(u'|')));
    QCOMPARE(rig.messages(), QStringList());
    QCOMPARE(rig.dialogOperator->sightings.size(), 0);
  }

  static void selectSpeed(Form1 &w, int option) {
    control<QRadioButton>(w, qPrintable(QStringLiteral("Option%1").arg(option)))->click();
  }

  // Proves that no update command goes out any more: two display clear
  // commands sent a while apart arrive with nothing between them.
  static bool updatesHaveStopped(Form1 &w, SimProcess &sim) {
    w.Command4_Click();
    if (sim.until(QStringLiteral("display-clear")).isEmpty()) return false;
    QTest::qWait(300);  // fifteen ticks of a running timer
    w.Command4_Click();
    const QList<QJsonObject> between = sim.until(QStringLiteral("display-clear"));
    return between.size() == 1;
  }

  // Waits until at least `count` more update commands have come.
  static bool updatesArrive(SimProcess &sim, int count) {
    for (int i = 0; i < count; ++i)
      if (sim.until(QStringLiteral("update")).isEmpty()) return false;
    return true;
  }

 private slots:
  void textsComeBackWhole_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("speed");  // option button 1 … 5
    QTest::addColumn<bool>("typed");  // typed key by key, else put into the field

    // Every printable ASCII character (the quotes arrive as ” and ’).
    const QString ascii = [] {
      QString s;
      for (char16_t c = 0x20; c <= 0x7E; ++c) s += QChar(c);
      return s;
    }();
    const QString level1 = QStringLiteral("亜唖娃阿哀愛挨姶逢葵茜穐悪握渥旭葦芦鯵梓圧斡扱宛姐虻飴絢綾鮎或粟袷安庵按暗案闇鞍杏漢字表示腕");
    const QString level2 = QStringLiteral("弌丐丕个丱丶丼丿乂乖乘亂亅豫亊舒弍于亞亟亠亢亰亳亶从仍仄仆仂仗仞仭仟价堯槇遙瑤凜熙鑿");
    const QString kana = QStringLiteral("あいうえおぁぃぅがぎぱぴゎをんアイウエオヴヵヶーｱｲｳｴｵｶﾞﾊﾟｰｯｬ｡｢｣､･");
    const QString symbols = QStringLiteral("、。，．・：；？！゛゜´｀¨＾￣＿ヽヾゝゞ〃仝々〆〇―‐／＼～∥｜…‥‘’“”（）〔〕［］｛｝〈〉《》「」『』【】＋－±×÷＝≠＜＞≦≧∞∴♂♀°′″℃￥＄￠￡％＃＆＊＠§☆★○●◎◇◆□■△▲▽▼※〒→←↑↓〓∈∋⊆⊇⊂⊃∪∩∧∨￢⇒⇔∀∃∠⊥⌒∂∇≡≒≪≫√∽∝∵∫∬\u212B‰♯♭♪†‡¶◯");
    const QString letters = QStringLiteral("０１２ＡＢＣａｂｃΑΒΓΩαβγωАБВЯабвя─│┌┐┘└├┬┤┴┼━┃┏┓┛┗┣┳┫┻╋");

    QTest::newRow("ASCII, every printable character") << ascii << 1 << true;
    QTest::newRow("kanji level 1") << level1 << 2 << true;
    QTest::newRow("kanji level 2") << level2 << 3 << true;
    QTest::newRow("kana, full and half width") << kana << 4 << true;
    QTest::newRow("symbols") << symbols << 5 << true;
    QTest::newRow("digits, Latin, Greek, Cyrillic, box drawing") << letters << 1 << false;
    QTest::newRow("line ends") << QStringLiteral("一行目\r\n二行目\r\n\r\nthird line\r\n") << 2 << false;
    QTest::newRow("one character") << QStringLiteral("あ") << 1 << true;
    QTest::newRow("frame 1 full: 113 + 14 blanks") << repeatedTo(level1, 113) << 3 << false;
    QTest::newRow("two frames: 114 + 14 blanks") << repeatedTo(level2, 114) << 4 << false;
    const QString mixed = kana + level1 + ascii + QStringLiteral("\r\n") + symbols + level2 + letters;
    QTest::newRow("five frames, mixed") << repeatedTo(mixed, 600) << 5 << false;
    QTest::newRow("fifteen frames, mixed") << repeatedTo(mixed, 127 + 14 * 128 - 14) << 2 << false;
    QTest::newRow("sixteen frames, the most there is") << repeatedTo(mixed, 2033) << 3 << false;
  }
  // A text entered and sent with "変換 + 送信" arrives as the normalised text
  // the window shows in Text1, in the frames and at the speed chosen, with
  // every check of the module passing.
  void textsComeBackWhole() {
    QFETCH(QString, text);
    QFETCH(int, speed);
    QFETCH(bool, typed);
    SimProcess sim({});
    QVERIFY2(sim.device.startsWith(QStringLiteral("/dev/")), qPrintable(sim.device));
    PortRig rig;
    start(rig, sim, "1");
    if (QTest::currentTestFailed()) return;
    Form1 &w = rig.w();

    selectSpeed(w, speed);
    vf::TextField *text3 = textField(w, "Text3");
    if (typed) {
      // Key by key, each key carrying its character, as an input method hands them over.
      text3->setFocus();
      for (const QChar ch : text) QTest::sendKeyEvent(QTest::Click, text3, Qt::Key_unknown, QString(ch), Qt::NoModifier);
    } else {
      text3->setFieldText(text);
    }
    QCOMPARE(text3->fieldText(), text);
    button(w, "Command1")->click();
    QVERIFY2(rig.messages().isEmpty(), qPrintable(rig.messages().join(u'|') + u' ' + label(w, "Label1")->text()));

    // Text1: the text with 14 full-width blanks, in full width (ｶﾞ becomes ガ).
    const QString text1 = textField(w, "Text1")->fieldText();
    QVERIFY(text1.endsWith(QString(14, QChar(0x3000))));
    QVERIFY(text1.size() <= text.size() + 14);
    const int frames = framesFor(text1.size());
    const QList<QJsonObject> events = sim.until(QStringLiteral("message"));
    QVERIFY2(!events.isEmpty(), "no message summary from the module");
    QCOMPARE(faultsIn(sim.seen), QStringList());
    const QJsonObject message = events.last();
    QCOMPARE(message[QStringLiteral("frames")].toInt(), frames);
    QCOMPARE(message[QStringLiteral("received")].toInt(), frames);
    QCOMPARE(message[QStringLiteral("speed")].toInt(), speedCodeOf(speed));
    QVERIFY(message[QStringLiteral("ok")].toBool());
    QCOMPARE(message[QStringLiteral("text")].toString(), shownOnModule(text1));
    QCOMPARE(countOf(events, QStringLiteral("message-start")), 1);
    QCOMPARE(countOf(events, QStringLiteral("frame-count")), 1);
    QCOMPARE(countOf(events, QStringLiteral("packet")), frames);
  }

  // Several messages in a row on one connection, each whole, the update
  // commands between them not getting in the way.
  void messagesInARow() {
    SimProcess sim({});
    PortRig rig;
    start(rig, sim, "1");
    if (QTest::currentTestFailed()) return;
    Form1 &w = rig.w();
    const QStringList texts = {QStringLiteral("最初"), repeatedTo(QStringLiteral("二番目のメッセージ。"), 300),
                               QStringLiteral("ｻﾝﾊﾞﾝﾒ 3rd"), QStringLiteral("最後\r\n")};
    for (const QString &text : texts) {
      textField(w, "Text3")->setFieldText(text);
      button(w, "Command1")->click();
      const QList<QJsonObject> events = sim.until(QStringLiteral("message"));
      QVERIFY(!events.isEmpty());
      QCOMPARE(events.last()[QStringLiteral("text")].toString(), shownOnModule(textField(w, "Text1")->fieldText()));
      QTest::qWait(60);  // a few update commands after each message
    }
    QCOMPARE(faultsIn(sim.seen), QStringList());
    QCOMPARE(countOf(sim.seen, QStringLiteral("message")), texts.size());
  }

  void cueReply_data() {
    QTest::addColumn<QString>("simKind");
    QTest::addColumn<QByteArray>("code");  // portnum.ini: the window's PortKind
    QTest::addColumn<bool>("afterMessage");  // --cue-after, else "cue" on standard input
    QTest::addColumn<bool>("answered");
    QTest::newRow("RS-232C, on request") << "rs232c" << QByteArray("1") << false << true;
    QTest::newRow("RS-232C, after a message") << "rs232c" << QByteArray("3") << true << true;
    QTest::newRow("USB変換, on request") << "usb" << QByteArray("17") << false << true;
    QTest::newRow("USB変換, after a message") << "usb" << QByteArray("20") << true << true;
    // The reply is looked for where the kind of connection puts it.
    QTest::newRow("USB reply on an RS-232C port") << "usb" << QByteArray("1") << false << false;
    QTest::newRow("RS-232C reply on a USB port") << "rs232c" << QByteArray("17") << false << false;
  }
  // The module's cue reply is answered with the data cue command; the event
  // also stops the update commands that follow a message when auto update is
  // not asked for.
  void cueReply() {
    QFETCH(QString, simKind);
    QFETCH(QByteArray, code);
    QFETCH(bool, afterMessage);
    QFETCH(bool, answered);
    SimProcess sim(afterMessage ? QStringList{"--kind", simKind, "--cue-after", "100"} : QStringList{"--kind", simKind});
    PortRig rig;
    start(rig, sim, code);
    if (QTest::currentTestFailed()) return;
    Form1 &w = rig.w();

    textField(w, "Text3")->setFieldText(QStringLiteral("頭だしテスト"));
    button(w, "Command1")->click();
    QVERIFY(!sim.until(QStringLiteral("message")).isEmpty());
    QVERIFY(w.timer1().isActive());
    if (!afterMessage) {
      QVERIFY(updatesArrive(sim, 1));
      QVERIFY(sim.say("cue\n"));
    }
    QVERIFY(!sim.until(QStringLiteral("cue-reply")).isEmpty());
    // The window has handled the reply once its timer is stopped (Check1 is cleared).
    QTRY_VERIFY_WITH_TIMEOUT(!w.timer1().isActive(), kTimeoutMs);
    if (code == "1" || code == "3") QCOMPARE(textField(w, "Text2")->fieldText(), answered ? QStringLiteral("ﾀ") : QString());

    w.Command4_Click();  // a display clear behind whatever the reply caused
    const QList<QJsonObject> after = sim.until(QStringLiteral("display-clear"));
    QVERIFY(!after.isEmpty());
    QCOMPARE(countOf(after, QStringLiteral("data-cue")), answered ? 1 : 0);
    if (answered) {
      // Nothing but counted updates before the data cue.
      for (const QJsonObject &e : after) {
        if (eventName(e) == QStringLiteral("data-cue")) break;
        QCOMPARE(eventName(e), QStringLiteral("update"));
      }
    }
    QVERIFY(updatesHaveStopped(w, sim));
    QCOMPARE(faultsIn(sim.seen), QStringList());
    QCOMPARE(rig.messages(), QStringList());
  }

  // Auto update: the update command goes out while the timer runs and stops
  // by each of the ways it should.
  void autoUpdateAfterMessageUntilPortEvent() {
    SimProcess sim({"--verbose-updates"});
    PortRig rig;
    start(rig, sim, "1");
    if (QTest::currentTestFailed()) return;
    Form1 &w = rig.w();
    textField(w, "Text3")->setFieldText(QStringLiteral("自動更新なし"));
    button(w, "Command1")->click();
    QVERIFY(!sim.until(QStringLiteral("message")).isEmpty());
    QVERIFY(updatesArrive(sim, 5));
    QCOMPARE(label(w, "Label15")->text(), QStringLiteral("自動更新なし"));
    QVERIFY(sim.say("cue\n"));
    QVERIFY(!sim.until(QStringLiteral("data-cue")).isEmpty());
    QVERIFY(updatesHaveStopped(w, sim));
    QCOMPARE(faultsIn(sim.seen), QStringList());
  }

  void autoUpdateAfterMessageUntilMenu() {
    SimProcess sim({"--verbose-updates"});
    PortRig rig;
    start(rig, sim, "1");
    if (QTest::currentTestFailed()) return;
    Form1 &w = rig.w();
    textField(w, "Text3")->setFieldText(QStringLiteral("メニューで止める"));
    button(w, "Command1")->click();
    QVERIFY(!sim.until(QStringLiteral("message")).isEmpty());
    QVERIFY(updatesArrive(sim, 5));
    action(w, "Reload")->trigger();  // 自動更新 with Check1 cleared
    QCOMPARE(label(w, "Label15")->text(), QStringLiteral("自動更新なし"));
    QVERIFY(updatesHaveStopped(w, sim));
    QCOMPARE(faultsIn(sim.seen), QStringList());
  }

  void autoUpdateTickedRunsThroughPortEvents() {
    SimProcess sim({"--verbose-updates", "--kind", "usb"});
    PortRig rig;
    start(rig, sim, "17");
    if (QTest::currentTestFailed()) return;
    Form1 &w = rig.w();
    check1(w)->click();
    QVERIFY(check1(w)->isChecked());
    QVERIFY(!w.timer1().isActive());  // ticking alone starts nothing
    action(w, "Reload")->trigger();
    QCOMPARE(label(w, "Label15")->text(), QStringLiteral("自動更新"));
    QVERIFY(updatesArrive(sim, 5));

    // Port events do not stop it: the cue is answered, the updates go on.
    for (int i = 0; i < 2; ++i) {
      QVERIFY(sim.say("cue\n"));
      QVERIFY(!sim.until(QStringLiteral("data-cue")).isEmpty());
      QVERIFY(updatesArrive(sim, 3));
    }
    // A message in between: the updates go on after it too.
    textField(w, "Text3")->setFieldText(QStringLiteral("更新中のメッセージ"));
    button(w, "Command1")->click();
    QVERIFY(!sim.until(QStringLiteral("message")).isEmpty());
    QVERIFY(updatesArrive(sim, 3));

    check1(w)->click();  // cleared: stops at once
    QVERIFY(!check1(w)->isChecked());
    QCOMPARE(label(w, "Label15")->text(), QStringLiteral("自動更新"));
    QVERIFY(updatesHaveStopped(w, sim));
    QCOMPARE(faultsIn(sim.seen), QStringList());
    QCOMPARE(countOf(sim.seen, QStringLiteral("message")), 1);
  }
};

QTEST_MAIN(EndToEndTest)
#include "tst_end_to_end.moc"
