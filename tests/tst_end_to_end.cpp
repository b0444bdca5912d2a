// The real main window, started from its portnum.ini, against a vf3360-sim
// process: texts come back whole, the cue reply of both kinds is answered once.
// And what vf3360-sim reports of a line written as the program writes it.

#include "encoder/message_builder.h"
#include "sim/face_window.h"
#include "tests/support/bytes.h"
#include "tests/support/rig.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRadioButton>
#include <QTest>

namespace {

// vf3360-sim in a process, its report read while the window's events run.
struct Sim {
  explicit Sim(const QStringList &options) {
    process.start(QStringLiteral(VF3360_SIM_PATH), QStringList{u"--json"_qs} + options);
    if (QTest::qWaitFor([&] { return process.canReadLine(); }, 10000)) device = QString::fromUtf8(process.readLine()).trimmed();
  }
  ~Sim() { process.kill(), process.waitForFinished(); }
  // The events reported up to the first of `name`; empty when none came.
  QList<QJsonObject> until(const QString &name) {
    QList<QJsonObject> got;
    while (QTest::qWaitFor([&] { return process.canReadLine(); }, 10000)) {
      got << QJsonDocument::fromJson(process.readLine()).object();
      if (got.last()[u"event"_qs].toString() == name) return got;
    }
    return {};
  }
  QProcess process;
  QString device;
};

struct Program : vf::rig::WindowRig {
  Program(const Sim &sim, const QByteArray &ini) : vf::rig::WindowRig(ini) {
    for (const char *port : {"1/0", "1/1"}) devices.insert(QString::fromLatin1(port), sim.device);
    start();
  }
};

}  // namespace

class EndToEndTest : public QObject {
  Q_OBJECT
 private slots:
  void textsComeBackWhole() {
    Sim sim({u"--kind"_qs, u"rs232c"_qs});
    Program program(sim, "1\r\n");
    const QString all = u"ABCxyz 0189 !\"#$%&'()~\\ 漢字熙鑿 あぁゑ アヴヶ ｱｶﾞﾊﾟｰ ＡΩЖ─┼ ～－∥―〜−‖—\r\n"_qs;
    const QStringList texts = {all, all.repeated(9).left(1500), u"鑿"_qs.repeated(2033)};
    for (int i = 0; i < texts.size() + 5; ++i) {
      const QString text = i < texts.size() ? texts[i] : all.left(20 * i);
      const int speed = 1 + i % 5;
      program.chooseSpeed(speed);
      program.find<vf::TextField>(u"inputField"_qs)->setFieldText(i % 2 ? QString() : text);
      if (i % 2) program.type(u"inputField"_qs, text.left(200));  // key by key
      program.press(u"convertAndSendButton"_qs);
      program.find<QTimer>(u"updateTick"_qs)->stop();
      const QList<QJsonObject> events = sim.until(u"message"_qs);
      QVERIFY(!events.isEmpty());
      for (const QJsonObject &e : events)
        QVERIFY2(e[u"event"_qs] != u"fault"_qs && e[u"ok"_qs] != false, QJsonDocument(e).toJson().constData());
      const QString shown = program.field(u"moduleTextField"_qs).replace(u'\r', QChar(0x3000)).replace(u'\n', QChar(0x3000));  // line ends as blanks
      QCOMPARE(events.last()[u"text"_qs].toString(), shown);
      QCOMPARE(events.last()[u"frames"_qs].toInt(), program.field(u"frameCountField"_qs).toInt());
      QCOMPARE(events.last()[u"speed"_qs].toInt(), speed >= 4 ? 3 : speed - 1);
    }
  }

  // The module's cue reply, in either form, is answered with one data cue.
  void cueReply_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QByteArray>("ini");
    QTest::newRow("RS-232C") << "rs232c" << QByteArray("1\r\n");
    QTest::newRow("USB変換") << "usb" << QByteArray("17\r\n");
  }
  void cueReply() {
    QFETCH(QString, kind);
    QFETCH(QByteArray, ini);
    Sim sim({u"--kind"_qs, kind});
    Program program(sim, ini);
    program.find<vf::TextField>(u"inputField"_qs)->setFieldText(u"頭だし"_qs);
    program.press(u"convertAndSendButton"_qs);
    QVERIFY(!sim.until(u"message"_qs).isEmpty());
    sim.process.write("cue\n");
    QVERIFY(!sim.until(u"data-cue"_qs).isEmpty());
    sim.process.write("quit\n");
    QVERIFY(sim.process.waitForFinished(5000));
    QVERIFY(!sim.process.readAll().contains("data-cue"));  // one answer only
  }

  // Update commands are summed up once a second, and before the next line; a
  // packet cut short is judged after a second of quiet; with --cue-after the
  // cue reply (the RS-232C form unless told) follows the complete message.
  // The module's window scrolls at the speed of frame 1.
  void simReport() {
    Sim sim({u"--cue-after"_qs, u"0"_qs});
    vf::ModuleLink program([&](int, vf::ConnectionKind) { return sim.device; });
    QVERIFY(program.open(1, vf::ConnectionKind::Rs232c).open);
    const std::vector<QByteArray> message = vf::buildMessage(u"A"_qs, 3).writes;
    QElapsedTimer clock;
    clock.start();
    QVERIFY(program.write(kUpdateCommand.repeated(3)));
    QList<QJsonObject> events = sim.until(u"update"_qs);
    QVERIFY(events.size() == 1 && events[0][u"count"_qs] == 3 && clock.elapsed() < 2500);
    QVERIFY(program.write(kUpdateCommand.repeated(2) + message[0] + message[1] + message[2].left(100)));
    clock.restart();
    QStringList names;
    for (const QJsonObject &e : events = sim.until(u"cue-reply"_qs)) names << e[u"event"_qs].toString();
    QCOMPARE(names.join(u' '), u"update message-start frame-count packet message cue-reply"_qs);
    QVERIFY2(clock.elapsed() >= 900 && clock.elapsed() < 2500, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(events[0][u"count"_qs] == 2 && events[4][u"ok"_qs] == false && events[5][u"bytes"_qs] == u"00 00 C0 00"_qs);
    vf::FaceWindow window(sim.device);
    vf::ModuleDecoder decoder;
    for (const vf::ModuleEvent &e : decoder.feed(joined(message))) window.handle(e);
    QCOMPARE(window.findChild<vf::FaceWidget *>()->face().speedByte(), 2);
  }
};

QTEST_MAIN(EndToEndTest)
#include "tst_end_to_end.moc"
