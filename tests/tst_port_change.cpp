// "ポート変更" and the loss of the device, through the real main window with
// pseudo-terminals as its ports: the dialog and its retries, auto update
// switched off, commands on a closed port, and a far end that goes away while
// auto update runs, while a message is being sent, or while the line is idle.

#include "link/port_opening.h"
#include "tests/port_window_harness.h"

#include <QtTest>

using namespace harness;
using vf::kKindRs232c;
using vf::kKindUsbConverter;

namespace {

const QString kDidNotOpen = QStringLiteral("ポートが開けませんでした");
const QString kNotOpen = QStringLiteral("ポートが開いていません");
const QString kLost = QStringLiteral("シリアルポートが切断されました。「ポート変更」でポートを開き直してください");
const QByteArray kDataCue = bytesOf("00 00 18 00 00 18 EF");
const QByteArray kDisplayClear = bytesOf("00 00 14 00 00 14 EF");

// Reads at the far end while the window runs, until at least `count` bytes
// have come or 5 s have passed.
QByteArray collect(PseudoTerminal &pty, int count) {
  QByteArray got;
  QDeadlineTimer deadline(5000);
  while (got.size() < count && !deadline.hasExpired()) {
    QTest::qWait(5);
    got += pty.readFor(0);
  }
  return got;
}

}  // namespace

class PortChangeTest : public QObject {
  Q_OBJECT

  // A window started from portnum.ini "3": RS-232C port 3 on `pty`.
  static void start(PortRig &rig, PseudoTerminal &pty) {
    rig.map(3, kKindRs232c, pty);
    QVERIFY(rig.writeIni("3\r\n"));
    rig.w().Form_Load();
    QVERIFY(rig.w().port().isOpen());
    QCOMPARE(rig.messages(), QStringList());
  }

  static void startAutoUpdate(PortRig &rig, PseudoTerminal &pty) {
    check1(rig.w())->setChecked(true);
    action(rig.w(), "Reload")->trigger();
    QVERIFY(updateCommandsIn(collect(pty, 3 * 7).left(3 * 7)) == 3);
  }

  // Fields of the operator's work, to see that nothing touched them.
  static QStringList fieldsOf(Form1 &w) {
    QStringList texts;
    for (const char *name : {"Text1", "Text2", "Text3", "Text4", "Text6", "Text13", "Text15", "Text22", "Text23"})
      texts.append(textField(w, name)->fieldText());
    for (const char *name : {"Text14", "Text19", "Text20", "Text21"}) texts.append(lineField(w, name)->text());
    return texts;
  }

 private slots:
  void changePort_data() {
    QTest::addColumn<bool>("keep");
    QTest::addColumn<QByteArray>("fileAfter");
    QTest::newRow("choice not kept") << false << QByteArray("3\r\n");
    QTest::newRow("choice kept") << true << QByteArray("20\r\n");
  }
  // While auto update runs: the timer stops and Check1 is cleared before the
  // dialog, the port is closed while it is open, the file is left alone on
  // load; afterwards converter port 4 is open, auto update stays off and
  // Label15 still shows the state last applied.
  void changePort() {
    QFETCH(bool, keep);
    QFETCH(QByteArray, fileAfter);
    PseudoTerminal first;
    PseudoTerminal second;
    PortRig rig;
    start(rig, first);
    rig.map(4, kKindUsbConverter, second);
    startAutoUpdate(rig, first);
    rig.dialogOperator->answers = {{"Com 4", true, keep}};

    button(rig.w(), "Command5")->click();

    QCOMPARE(rig.dialogOperator->sightings.size(), 1);
    const DialogSighting &seen = rig.dialogOperator->sightings.first();
    QVERIFY(!seen.timer1Active);
    QVERIFY(!seen.check1Checked);
    QVERIFY(!seen.portOpen);
    QVERIFY(seen.mainWindowVisible);
    QCOMPARE(seen.fileContent, QByteArray("3\r\n"));
    QCOMPARE(seen.label13, vf::openPortStatusText(3, kKindRs232c));
    QCOMPARE(seen.state.PortChanging, 0);  // the dialog's load has cleared it
    QCOMPARE(seen.state.PortChosen, 0);

    QCOMPARE(rig.messages(), QStringList());
    QCOMPARE(rig.dialogOperator->unexpected, 0);
    QCOMPARE(label(rig.w(), "Label13")->text(), vf::openPortStatusText(4, kKindUsbConverter));
    QCOMPARE(label(rig.w(), "Label15")->text(), QStringLiteral("自動更新"));
    QVERIFY(!check1(rig.w())->isChecked());
    QVERIFY(!rig.w().timer1().isActive());
    QCOMPARE(rig.ini(), fileAfter);

    // The old line got update commands only, and nothing after the change.
    QVERIFY(updateCommandsIn(readUntilQuiet(first)) >= 0);
    // The new line takes the commands, and its replies are judged as USB変換.
    button(rig.w(), "Command4")->click();
    QCOMPARE(readAtFarEnd(second, 7), kDisplayClear);
    QVERIFY(second.write(bytesOf("C0")));
    QCOMPARE(readAtFarEnd(second, 7), kDataCue);
    QCOMPARE(readUntilQuiet(first, 100), QByteArray());
  }

  // A chosen port that does not open: the message, and the dialog again with
  // auto update still off, until a port opens.
  void failedOpenLoopsBack() {
    PseudoTerminal first;
    PseudoTerminal second;
    PortRig rig;
    start(rig, first);
    rig.map(5, kKindRs232c, second);
    startAutoUpdate(rig, first);
    rig.dialogOperator->answers = {{"Com 6", false, false}, {"Com 5", false, false}};

    button(rig.w(), "Command5")->click();

    QCOMPARE(rig.messages(), QStringList{kDidNotOpen});
    QCOMPARE(rig.dialogOperator->sightings.size(), 2);
    for (const DialogSighting &seen : rig.dialogOperator->sightings) {
      QVERIFY(!seen.timer1Active);
      QVERIFY(!seen.check1Checked);
      QVERIFY(!seen.portOpen);
      QCOMPARE(seen.fileContent, QByteArray("3\r\n"));
    }
    QCOMPARE(label(rig.w(), "Label13")->text(), vf::openPortStatusText(5, kKindRs232c));
    QVERIFY(!rig.w().timer1().isActive());
    button(rig.w(), "Command7")->click();
    QCOMPARE(readAtFarEnd(second, 7), kDataCue);
  }

  void unchangedOrInvalidChoiceReopensThePort_data() {
    QTest::addColumn<QString>("comboText");
    QTest::addColumn<QStringList>("messages");
    QTest::newRow("same port") << "Com 3" << QStringList();
    QTest::newRow("no entry") << "Com 99" << QStringList{QStringLiteral("ポート番号を選択してください")};
  }
  void unchangedOrInvalidChoiceReopensThePort() {
    QFETCH(QString, comboText);
    QFETCH(QStringList, messages);
    PseudoTerminal pty;
    PortRig rig;
    start(rig, pty);
    label(rig.w(), "Label13")->setText(QString());  // to see that it is written again
    rig.dialogOperator->answers = {{comboText, false, false}};

    button(rig.w(), "Command5")->click();

    QCOMPARE(rig.messages(), messages);
    QCOMPARE(label(rig.w(), "Label13")->text(), vf::openPortStatusText(3, kKindRs232c));
    button(rig.w(), "Command7")->click();
    QCOMPARE(readAtFarEnd(pty, 7), kDataCue);
  }

  // While the dialog is open, commands that write act on the closed port,
  // and a second "ポート変更" opens no second dialog.
  void commandsWhileTheDialogIsOpen() {
    PseudoTerminal pty;
    PortRig rig;
    start(rig, pty);
    int openDialogs = -1;
    rig.dialogOperator->whileOpen = [&](vf::Form2 &) {
      button(rig.w(), "Command4")->click();
      button(rig.w(), "Command5")->click();
      openDialogs = 0;
      for (QWidget *w : QApplication::topLevelWidgets())
        if (qobject_cast<vf::Form2 *>(w) && w->isVisible()) ++openDialogs;
    };
    rig.dialogOperator->answers = {{"Com 3", false, false}};

    button(rig.w(), "Command5")->click();

    QCOMPARE(openDialogs, 1);
    QCOMPARE(rig.dialogOperator->sightings.size(), 1);
    QCOMPARE(rig.messages(), QStringList{kNotOpen});
    QCOMPARE(readUntilQuiet(pty, 100), QByteArray());
    QVERIFY(rig.w().port().isOpen());
  }

  void deviceLost_data() {
    QTest::addColumn<bool>("autoUpdate");
    QTest::newRow("line idle") << false;
    QTest::newRow("during auto update") << true;
  }
  // The far end goes away: the port is closed, Timer1 stops, Label13 says
  // the port is closed and one message tells the operator. The fields stay as
  // they were, commands say the port is not open, and "ポート変更" opens
  // another port.
  void deviceLost() {
    QFETCH(bool, autoUpdate);
    PseudoTerminal first;
    PseudoTerminal second;
    PortRig rig;
    start(rig, first);
    rig.map(5, kKindRs232c, second);
    textField(rig.w(), "Text3")->setFieldText(QStringLiteral("漢字のテキスト\r\n二行目"));
    button(rig.w(), "Command1")->click();  // convert-and-send fills the fields
    QVERIFY(first.write(bytesOf("11 22 C0 41")));  // and Text2, which also stops the timer
    QTRY_COMPARE_WITH_TIMEOUT(textField(rig.w(), "Text2")->fieldText(), QStringLiteral("ﾀA"), 5000);
    QVERIFY(!readUntilQuiet(first).isEmpty());  // the message and the update commands before the reply
    if (autoUpdate) startAutoUpdate(rig, first);
    const QStringList before = fieldsOf(rig.w());

    first.closeFarEnd();

    QTRY_VERIFY_WITH_TIMEOUT(!rig.messages().isEmpty(), 5000);
    QTest::qWait(300);  // no stream of messages follows
    QCOMPARE(rig.messages(), QStringList{kLost});
    QVERIFY(!rig.w().port().isOpen());
    QVERIFY(!rig.w().timer1().isActive());
    QCOMPARE(label(rig.w(), "Label13")->text(), QStringLiteral("ポートクローズ"));
    QCOMPARE(fieldsOf(rig.w()), before);
    QCOMPARE(check1(rig.w())->isChecked(), autoUpdate);

    // Commands on the closed port.
    rig.messages().clear();
    button(rig.w(), "Command4")->click();
    action(rig.w(), "ReBigin")->trigger();
    QCOMPARE(rig.messages(), QStringList({kNotOpen, kNotOpen}));

    // ポート変更 opens another port.
    rig.messages().clear();
    rig.dialogOperator->answers = {{"Com 5", false, false}};
    button(rig.w(), "Command5")->click();
    QCOMPARE(rig.messages(), QStringList());
    QVERIFY(rig.w().port().isOpen());
    QCOMPARE(label(rig.w(), "Label13")->text(), vf::openPortStatusText(5, kKindRs232c));
    QVERIFY(!check1(rig.w())->isChecked());
    button(rig.w(), "Command7")->click();
    QCOMPARE(readAtFarEnd(second, 7), kDataCue);
    QCOMPARE(fieldsOf(rig.w()), before);
  }

  // The far end goes away just before "変換 + 送信": the loss shows while
  // the message is being written. The run completes its fields, the operator
  // is told once, and the timer that the run started is stopped.
  void deviceLostDuringConvertAndSend() {
    PseudoTerminal pty;
    PortRig rig;
    start(rig, pty);
    textField(rig.w(), "Text3")->setFieldText(QStringLiteral("あ").repeated(300));

    pty.closeFarEnd();
    button(rig.w(), "Command1")->click();

    QTRY_VERIFY_WITH_TIMEOUT(!rig.messages().isEmpty(), 5000);
    QTest::qWait(300);
    QCOMPARE(rig.messages(), QStringList{kLost});
    QVERIFY(!rig.w().port().isOpen());
    QVERIFY(!rig.w().timer1().isActive());
    QCOMPARE(label(rig.w(), "Label13")->text(), QStringLiteral("ポートクローズ"));
    QCOMPARE(textField(rig.w(), "Text3")->fieldText(), QStringLiteral("あ").repeated(300));
    QCOMPARE(lineField(rig.w(), "Text19")->text(), QStringLiteral("314"));
    for (const char *frame : {"Text22", "Text23", "Text24"})
      QCOMPARE(textField(rig.w(), frame)->fieldText().size(), 524);
    QCOMPARE(textField(rig.w(), "Text25")->fieldText(), QString());
  }
};

QTEST_MAIN(PortChangeTest)
#include "tst_port_change.moc"
