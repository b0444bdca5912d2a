// Events of the serial port through the real main window on a pseudo-terminal:
// every receive case, whole and in pieces, in both kinds of connection, and
// what the events do to the auto-update timer.

#include "tests/port_window_harness.h"

#include <QtTest>

using namespace harness;
using vf::kKindRs232c;
using vf::kKindUsbConverter;

namespace {

const QByteArray kDataCue = bytesOf("00 00 18 00 00 18 EF");

// How many data cue commands `bytes` holds when it is read as a row of
// seven-byte commands of which every other one is the update command; -1 if
// it is anything else.
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

// Reads at the far end while the window runs, until at least `count` bytes
// have come (or 5 s have passed), then up to the end of the last command.
QByteArray collect(PseudoTerminal &pty, int count) {
  QByteArray got;
  QDeadlineTimer deadline(5000);
  while (got.size() < count && !deadline.hasExpired()) {
    QTest::qWait(5);
    got += pty.readFor(0);
  }
  if (got.size() % 7) got += pty.readExactly(7 - got.size() % 7, 1000);
  return got;
}

QList<QList<QByteArray>> cutsOf(const QByteArray &bytes) {
  QList<QByteArray> single;
  for (const char c : bytes) single.append(QByteArray(1, c));
  return {{bytes}, single, {bytes.left(bytes.size() / 2), bytes.mid(bytes.size() / 2)}};
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
    QCOMPARE(rig.messages(), QStringList());
  }

 private slots:
  void receive_data() {
    QTest::addColumn<QByteArray>("code");  // portnum.ini
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text2");  // Text2 afterwards; it was "old"
    QTest::addColumn<bool>("cue");
    const QByteArray rs = "1";
    const QByteArray usb = "17";
    QTest::newRow("RS-232C 11 22 C0 00") << rs << bytesOf("11 22 C0 00") << "ﾀ" << true;
    QTest::newRow("RS-232C C0") << rs << bytesOf("C0") << "" << false;
    QTest::newRow("RS-232C 11 22 C0 41") << rs << bytesOf("11 22 C0 41") << "ﾀA" << false;
    QTest::newRow("RS-232C 11 22 C0 00 33 44") << rs << bytesOf("11 22 C0 00 33 44") << "ﾀ" << true;
    QTest::newRow("USB C0 11 22 33") << usb << bytesOf("C0 11 22 33") << "old" << true;
    QTest::newRow("USB 11 C0") << usb << bytesOf("11 C0") << "old" << false;
  }
  // Each case as one write, one byte at a time and cut in two: always one
  // receive event and the same outcome. Timer1 runs with Check1 cleared (as
  // after a convert-and-send), so the event also stops it; a data cue still
  // goes out. The quiet time is generous so that nothing depends on how fast
  // this machine is.
  void receive() {
    QFETCH(QByteArray, code);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text2);
    QFETCH(bool, cue);
    PseudoTerminal pty;
    PortRig rig;
    start(rig, pty, code);
    rig.w().setReceiveTiming({250, 10000});

    for (const QList<QByteArray> &pieces : cutsOf(bytes)) {
      textField(rig.w(), "Text2")->setFieldText(QStringLiteral("old"));
      rig.w().timer1().start();
      qint64 sent = 0;
      for (const QByteArray &piece : pieces) {
        QVERIFY(pty.write(piece));
        sent += piece.size();
        QTRY_VERIFY_WITH_TIMEOUT(
            rig.w().receiveGatherer().pendingByteCount() == sent || !rig.w().timer1().isActive(), 5000);
      }
      QTRY_VERIFY_WITH_TIMEOUT(!rig.w().timer1().isActive(), 5000);
      QCOMPARE(textField(rig.w(), "Text2")->fieldText(), text2);
      QCOMPARE(dataCuesAmongUpdates(readUntilQuiet(pty)), cue ? 1 : 0);
    }
    QCOMPARE(rig.messages(), QStringList());
  }

  // With Check1 ticked and auto update on, events leave the timer running
  // and replies are answered between the update commands.
  void eventsLeaveAutoUpdateRunning() {
    PseudoTerminal pty;
    PortRig rig;
    start(rig, pty, "1");
    check1(rig.w())->setChecked(true);
    action(rig.w(), "Reload")->trigger();
    for (int i = 0; i < 3; ++i) {
      QVERIFY(pty.write(bytesOf("11 22 C0 00")));
      QByteArray got;
      QTRY_VERIFY_WITH_TIMEOUT((got += pty.readFor(5)).contains(kDataCue), 5000);
      QVERIFY(rig.w().timer1().isActive());
    }
    QVERIFY(pty.write(bytesOf("C0")));
    QTRY_COMPARE_WITH_TIMEOUT(textField(rig.w(), "Text2")->fieldText(), QString(), 5000);
    QVERIFY(rig.w().timer1().isActive());
    // Update commands still come after the last event.
    QVERIFY(dataCuesAmongUpdates(collect(pty, 3 * 7)) >= 0);
    QCOMPARE(rig.messages(), QStringList());
  }

  // An event that is no receive event (the port refusing an operation): no
  // reply, Text2 unchanged, and the timer stops because Check1 is cleared.
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

    // With Check1 ticked the same event leaves the timer alone.
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
