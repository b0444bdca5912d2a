// Events of the serial port through the real main window on a pseudo-terminal:
// what a receive event does to Text2 and the cue reply in both kinds of
// connection, and what events do to the auto-update timer. The cutting of
// replies into events is tested with the gatherer itself.

#include "tests/port_window_harness.h"

#include <QtTest>

using namespace harness;

namespace {

const QByteArray kDataCue = bytesOf("00 00 18 00 00 18 EF");

// How many data cue commands `bytes` holds among update commands; -1 if it
// holds anything else.
int dataCuesAmongUpdates(const QByteArray &bytes) {
  if (bytes.size() % 7 != 0) return -1;
  int cues = 0;
  for (qsizetype i = 0; i < bytes.size(); i += 7) {
    const QByteArray command = bytes.mid(i, 7);
    if (command == kDataCue)
      ++cues;
    else if (command != updateCommand())
      return -1;
  }
  return cues;
}

}  // namespace

class PortEventsTest : public QObject {
  Q_OBJECT

  // A window started from portnum.ini holding `code`, its port on `pty`.
  static void start(PortRig &rig, PseudoTerminal &pty, const QByteArray &code) {
    const vf::PortChoice port = vf::decodePortCode(code.toInt());
    rig.map(port.portNum, port.portKind, pty);
    QVERIFY(rig.writeIni(code + "\r\n"));
    rig.w().Form_Load();
    QVERIFY(rig.w().port().isOpen());
  }

 private slots:
  // Timer1 runs with Check1 cleared (as after a convert-and-send), so the
  // event also stops it; a data cue still goes out.
  void receive_data() {
    QTest::addColumn<QByteArray>("code");  // portnum.ini
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text2");  // Text2 afterwards; it was "old"
    QTest::addColumn<bool>("cue");
    QTest::newRow("RS-232C cue reply") << QByteArray("1") << bytesOf("11 22 C0 00 33") << "ﾀ" << true;
    QTest::newRow("RS-232C other") << QByteArray("1") << bytesOf("11 22 C0 41") << "ﾀA" << false;
    QTest::newRow("USB cue reply") << QByteArray("17") << bytesOf("C0 11 22 33") << "old" << true;
    QTest::newRow("USB other") << QByteArray("17") << bytesOf("11 C0") << "old" << false;
  }
  void receive() {
    QFETCH(QByteArray, code);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text2);
    QFETCH(bool, cue);
    PseudoTerminal pty;
    PortRig rig;
    start(rig, pty, code);
    textField(rig.w(), "Text2")->setFieldText(QStringLiteral("old"));
    rig.w().timer1().start();
    QVERIFY(pty.write(bytes));
    QTRY_VERIFY_WITH_TIMEOUT(!rig.w().timer1().isActive(), 5000);
    QCOMPARE(textField(rig.w(), "Text2")->fieldText(), text2);
    QCOMPARE(dataCuesAmongUpdates(readUntilQuiet(pty)), cue ? 1 : 0);
    QCOMPARE(rig.messages(), QStringList());
  }

  // With auto update on, events leave the timer running and replies are
  // answered between the update commands.
  void eventsLeaveAutoUpdateRunning() {
    PseudoTerminal pty;
    PortRig rig;
    start(rig, pty, "1");
    check1(rig.w())->setChecked(true);
    action(rig.w(), "Reload")->trigger();
    for (int i = 0; i < 2; ++i) {
      QVERIFY(pty.write(bytesOf("11 22 C0 00")));
      QByteArray got;
      QTRY_VERIFY_WITH_TIMEOUT((got += pty.readFor(5)).contains(kDataCue), 5000);
      QVERIFY(rig.w().timer1().isActive());
    }
    QCOMPARE(rig.messages(), QStringList());
  }

  // An event that is no receive event (the port refusing an operation): no
  // reply, Text2 unchanged, and the timer stops only when Check1 is cleared.
  void otherEventsOnlyStopTheTimer() {
    PseudoTerminal pty;
    PortRig rig;
    start(rig, pty, "1");
    textField(rig.w(), "Text2")->setFieldText(QStringLiteral("old"));
    rig.w().timer1().start();
    QVERIFY(!rig.w().port().setRequestToSend(true));  // a pseudo-terminal has no RTS line
    QTRY_VERIFY_WITH_TIMEOUT(!rig.w().timer1().isActive(), 5000);
    QCOMPARE(textField(rig.w(), "Text2")->fieldText(), QStringLiteral("old"));
    QCOMPARE(dataCuesAmongUpdates(readUntilQuiet(pty)), 0);
    QVERIFY(rig.w().port().isOpen());
    check1(rig.w())->setChecked(true);
    rig.w().timer1().start();
    QVERIFY(!rig.w().port().setRequestToSend(true));
    QTest::qWait(100);
    QVERIFY(rig.w().timer1().isActive());
    QCOMPARE(rig.messages(), QStringList());
  }
};

QTEST_MAIN(PortEventsTest)
#include "tst_port_events.moc"
