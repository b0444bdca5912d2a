// The real main window, started from its portnum.ini, against a vf3360-sim
// process: texts come back whole, the cue reply of both kinds is answered once.

#include "tests/support/rig.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRadioButton>
#include <QTest>

namespace {

// vf3360-sim in a process, its report read while the window's events run.
struct Sim {
  explicit Sim(const QString &kind) {
    process.start(QStringLiteral(VF3360_SIM_PATH), {u"--json"_qs, u"--kind"_qs, kind});
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

struct Program : rig::WindowRig {
  Program(const Sim &sim, const QByteArray &ini) : rig::WindowRig(ini) {
    for (const char *port : {"1/0", "1/1"}) devices.insert(QString::fromLatin1(port), sim.device);
    start();
  }
};

}  // namespace

class EndToEndTest : public QObject {
  Q_OBJECT
 private slots:
  void textsComeBackWhole() {
    Sim sim(u"rs232c"_qs);
    QVERIFY(!sim.device.isEmpty());
    Program program(sim, "1\r\n");
    const QString all = u"ABCxyz 0189 !\"#$%&'()~\\ 漢字熙鑿 あぁゑ アヴヶ ｱｶﾞﾊﾟｰ ＡΩЖ─┼ ～－∥―〜−‖—\r\n"_qs;
    const QStringList texts = {all, all.repeated(9).left(1500), u"鑿"_qs.repeated(2033)};
    for (int i = 0; i < texts.size() + 5; ++i) {
      const QString text = i < texts.size() ? texts[i] : all.left(20 * i);
      const int speed = 1 + i % 5;
      QTest::mouseClick(program.find<QRadioButton>(QStringLiteral("Option%1").arg(speed)), Qt::LeftButton);
      program.find<vf::TextField>(u"Text3"_qs)->setFieldText(i % 2 ? QString() : text);
      if (i % 2) program.type(u"Text3"_qs, text.left(200));  // key by key
      program.press(u"Command1"_qs);
      program.find<QTimer>(u"Timer1"_qs)->stop();
      const QList<QJsonObject> events = sim.until(u"message"_qs);
      QVERIFY(!events.isEmpty());
      for (const QJsonObject &e : events)
        QVERIFY2(e[u"event"_qs] != u"fault"_qs && e[u"ok"_qs] != false, QJsonDocument(e).toJson().constData());
      const QString shown = program.field(u"Text1"_qs).replace(u'\r', QChar(0x3000)).replace(u'\n', QChar(0x3000));  // line ends as blanks
      QCOMPARE(events.last()[u"text"_qs].toString(), shown);
      QCOMPARE(events.last()[u"frames"_qs].toInt(), program.field(u"Text21"_qs).toInt());
      QCOMPARE(events.last()[u"speed"_qs].toInt(), speed >= 4 ? 3 : speed - 1);
    }
  }

  // The module's cue reply is answered with one data cue; with auto update
  // not asked for, the reply also stops the update commands that followed
  // the message.
  void cueReply_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QByteArray>("ini");
    QTest::newRow("RS-232C") << "rs232c" << QByteArray("1\r\n");
    QTest::newRow("USB変換") << "usb" << QByteArray("17\r\n");
  }
  void cueReply() {
    QFETCH(QString, kind);
    QFETCH(QByteArray, ini);
    Sim sim(kind);
    Program program(sim, ini);
    program.find<vf::TextField>(u"Text3"_qs)->setFieldText(u"頭だし"_qs);
    program.press(u"Command1"_qs);
    QVERIFY(!sim.until(u"message"_qs).isEmpty());
    QVERIFY(sim.until(u"update"_qs).size() == 1);  // auto update runs after the message
    sim.process.write("cue\n");
    QVERIFY(!sim.until(u"data-cue"_qs).isEmpty());
    QTRY_VERIFY(!program.find<QTimer>(u"Timer1"_qs)->isActive());
    sim.process.write("quit\n");
    QVERIFY(sim.process.waitForFinished(5000));
    QVERIFY(!sim.process.readAll().contains("data-cue"));  // one answer only
  }
};

QTEST_MAIN(EndToEndTest)
#include "tst_end_to_end.moc"
