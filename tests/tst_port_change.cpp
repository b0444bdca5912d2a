// "ポート変更" and the loss of the device, through the real main window with
// pseudo-terminals as its ports: the dialog and its retries, auto update
// switched off, and a far end that goes away while the line is idle, while
// auto update runs, or while a message is being sent.

#include "link/port_opening.h"
#include "tests/port_window_harness.h"

#include <QtTest>

using namespace harness;
using vf::kKindRs232c;
using vf::kKindUsbConverter;

namespace {

const QString kNotOpen = QStringLiteral("ポートが開いていません");
const QString kLost = QStringLiteral("シリアルポートが切断されました。「ポート変更」でポートを開き直してください");
const QByteArray kDataCue = bytesOf("00 00 18 00 00 18 EF");

}  // namespace

class PortChangeTest : public QObject {
  Q_OBJECT

  // A window started from portnum.ini "3": RS-232C port 3 on `pty`.
  static void start(PortRig &rig, PseudoTerminal &pty) {
    rig.map(3, kKindRs232c, pty);
    QVERIFY(rig.writeIni("3\r\n"));
    rig.w().Form_Load();
    QVERIFY(rig.w().port().isOpen());
  }

  static void startAutoUpdate(PortRig &rig, PseudoTerminal &pty) {
    check1(rig.w())->setChecked(true);
    action(rig.w(), "Reload")->trigger();
    QCOMPARE(updateCommandsIn(readAtFarEnd(pty, 3 * 7)), 3);
  }

 private slots:
  void changePort_data() {
    QTest::addColumn<bool>("keep");
    QTest::addColumn<QByteArray>("fileAfter");
    QTest::newRow("choice not kept") << false << QByteArray("3\r\n");
    QTest::newRow("choice kept") << true << QByteArray("20\r\n");
  }
  // While auto update runs. Each dialog finds the timer stopped, Check1
  // cleared and the port closed; a port that does not open gives the message
  // and the dialog again. Afterwards converter port 4 is open and its replies
  // are judged as USB変換.
  void changePort() {
    QFETCH(bool, keep);
    QFETCH(QByteArray, fileAfter);
    PseudoTerminal first;
    PseudoTerminal second;
    PortRig rig;
    start(rig, first);
    rig.map(4, kKindUsbConverter, second);
    startAutoUpdate(rig, first);
    rig.dialogOperator->answers = {{"Com 6", false, false}, {"Com 4", true, keep}};

    button(rig.w(), "Command5")->click();

    QCOMPARE(rig.messages(), QStringList{QStringLiteral("ポートが開けませんでした")});
    QCOMPARE(rig.dialogOperator->sightings.size(), 2);
    QCOMPARE(rig.dialogOperator->unexpected, 0);
    for (const DialogSighting &seen : rig.dialogOperator->sightings) {
      QVERIFY(!seen.timer1Active);
      QVERIFY(!seen.check1Checked);
      QVERIFY(!seen.portOpen);
      QCOMPARE(seen.fileContent, QByteArray("3\r\n"));
    }
    QCOMPARE(label(rig.w(), "Label13")->text(), vf::openPortStatusText(4, kKindUsbConverter));
    QVERIFY(!check1(rig.w())->isChecked());
    QVERIFY(!rig.w().timer1().isActive());
    QCOMPARE(rig.ini(), fileAfter);
    QVERIFY(updateCommandsIn(readUntilQuiet(first)) >= 0);
    QVERIFY(second.write(bytesOf("C0")));
    QCOMPARE(readAtFarEnd(second, 7), kDataCue);
  }

  // While the dialog is open, commands act on the closed port and a second
  // ポート変更 opens no second dialog; the same port opens again.
  void commandsWhileTheDialogIsOpen() {
    PseudoTerminal pty;
    PortRig rig;
    start(rig, pty);
    rig.dialogOperator->whileOpen = [&](vf::Form2 &) {
      button(rig.w(), "Command4")->click();
      button(rig.w(), "Command5")->click();
    };
    rig.dialogOperator->answers = {{"Com 3", false, false}};
    button(rig.w(), "Command5")->click();
    QCOMPARE(rig.dialogOperator->sightings.size(), 1);
    QCOMPARE(rig.dialogOperator->unexpected, 0);
    QCOMPARE(rig.messages(), QStringList{kNotOpen});
    QCOMPARE(readUntilQuiet(pty, 100), QByteArray());
    button(rig.w(), "Command7")->click();
    QCOMPARE(readAtFarEnd(pty, 7), kDataCue);
  }

  void deviceLost_data() {
    QTest::addColumn<int>("situation");
    QTest::newRow("line idle") << 0;
    QTest::newRow("during auto update") << 1;
    QTest::newRow("during convert-and-send") << 2;
  }
  // The port is closed, Timer1 stops, Label13 says so and one message tells
  // the operator; the fields stay; commands say the port is not open, and
  // ポート変更 opens another port.
  void deviceLost() {
    QFETCH(int, situation);
    PseudoTerminal first;
    PseudoTerminal second;
    PortRig rig;
    start(rig, first);
    rig.map(5, kKindRs232c, second);
    if (situation == 1) startAutoUpdate(rig, first);
    textField(rig.w(), "Text3")->setFieldText(QStringLiteral("あ").repeated(300));

    first.closeFarEnd();
    if (situation == 2) button(rig.w(), "Command1")->click();

    QTRY_VERIFY_WITH_TIMEOUT(!rig.messages().isEmpty(), 5000);
    QTest::qWait(300);  // no stream of messages follows
    QCOMPARE(rig.messages(), QStringList{kLost});
    QVERIFY(!rig.w().port().isOpen());
    QVERIFY(!rig.w().timer1().isActive());
    QCOMPARE(label(rig.w(), "Label13")->text(), QStringLiteral("ポートクローズ"));
    QCOMPARE(check1(rig.w())->isChecked(), situation == 1);
    QCOMPARE(textField(rig.w(), "Text24")->fieldText().size(), situation == 2 ? 524 : 0);  // the run completed

    rig.messages().clear();
    button(rig.w(), "Command4")->click();
    QCOMPARE(rig.messages(), QStringList{kNotOpen});
    rig.messages().clear();
    rig.dialogOperator->answers = {{"Com 5", false, false}};
    button(rig.w(), "Command5")->click();
    QCOMPARE(rig.messages(), QStringList());
    QCOMPARE(label(rig.w(), "Label13")->text(), vf::openPortStatusText(5, kKindRs232c));
    button(rig.w(), "Command7")->click();
    QCOMPARE(readAtFarEnd(second, 7), kDataCue);
  }
};

QTEST_MAIN(PortChangeTest)
#include "tst_port_change.moc"
