// Auto update: every event that switches Timer1, counted in update commands
// at the far end of a pseudo-terminal. Counts and generous deadlines only;
// nothing here depends on how precisely the ticks come.

#include "tests/window_harness.h"
#include "ui/operator_dialogs.h"

#include <QtTest>

#include <memory>

using namespace harness;

namespace {

QByteArray messageStart() { return bytesOf("00 00 25 00 00 25 EF"); }

// Reads for up to timeoutMs and returns how many update commands came, or -1
// when anything else came; stops early once `enough` have come.
int countUpdateCommands(PseudoTerminal &pty, int enough, int timeoutMs = 2000) {
  QByteArray got;
  QDeadlineTimer deadline(timeoutMs);
  while (!deadline.hasExpired() && got.size() < enough * updateCommand().size()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    got += pty.readFor(5);
  }
  const qsizetype partial = got.size() % updateCommand().size();
  if (partial) got += pty.readExactly(updateCommand().size() - partial, 1000);
  return updateCommandsIn(got);
}

}  // namespace

class AutoUpdateTest : public QObject {
  Q_OBJECT

  std::unique_ptr<vf::RecordingDialogs> dialogs_;
  std::unique_ptr<Form1> window_;
  std::unique_ptr<PseudoTerminal> pty_;

  Form1 &w() { return *window_; }

  // Auto update on: Check1 ticked and applied, and some update commands seen.
  void switchOn() {
    check1(w())->setChecked(true);
    action(w(), "Reload")->trigger();
    QVERIFY(countUpdateCommands(*pty_, 1) >= 1);
  }

 private slots:
  void init() {
    dialogs_ = std::make_unique<vf::RecordingDialogs>();
    window_ = std::make_unique<Form1>();
    window_->setEndProgram([] {});
    window_->show();
    pty_ = std::make_unique<PseudoTerminal>();
    QVERIFY(pty_->isValid());
    QVERIFY(openPort(w(), *pty_));
  }
  void cleanup() {
    window_.reset();
    pty_.reset();
    dialogs_.reset();
  }

  // Each row: the state before (Check1, timer running), what the operator
  // does, and Timer1, Check1, Label15 and the message afterwards.
  void timerTable_data() {
    QTest::addColumn<bool>("checked");
    QTest::addColumn<bool>("running");
    QTest::addColumn<QString>("step");
    QTest::addColumn<QString>("input");
    QTest::addColumn<bool>("active");
    QTest::addColumn<bool>("checkedAfter");
    QTest::addColumn<bool>("label15On");
    QTest::addColumn<QString>("message");
    const QString none, tooLong = QStringLiteral("a").repeated(2034);
    QTest::newRow("ticking Check1 alone") << false << false << "Check1" << none << false << true << false << none;
    QTest::newRow("menu, Check1 ticked") << true << false << "Reload" << none << true << true << true << none;
    QTest::newRow("menu, Check1 cleared") << false << true << "Reload" << none << false << false << false << none;
    QTest::newRow("clearing Check1") << true << true << "Check1" << none << false << false << true << none;
    QTest::newRow("send, Check1 cleared") << false << false << "Command1" << "あ" << true << false << false << none;
    QTest::newRow("send, Check1 ticked") << true << false << "ChangeSend" << "あ" << true << true << true << none;
    QTest::newRow("too long, Check1 cleared") << false << true << "Command1" << tooLong << false << false << false
                                              << "文字数オーバー";
    QTest::newRow("empty input") << true << true << "Command1" << none << false << false << true
                                 << "文字を入力してください";
  }
  void timerTable() {
    QFETCH(bool, checked);
    QFETCH(bool, running);
    QFETCH(QString, step);
    QFETCH(QString, input);
    QFETCH(bool, active);
    QFETCH(bool, checkedAfter);
    QFETCH(bool, label15On);
    QFETCH(QString, message);
    if (checked && running) {
      switchOn();
    } else {
      check1(w())->setChecked(checked);
      if (running) timer1(w())->start();
    }
    textField(w(), "Text3")->setFieldText(input);
    if (step == "Check1")
      check1(w())->click();
    else
      w().findChild<QAction *>(step) ? action(w(), qPrintable(step))->trigger() : button(w(), qPrintable(step))->click();

    QCOMPARE(timer1(w())->isActive(), active);
    QCOMPARE(check1(w())->isChecked(), checkedAfter);
    QCOMPARE(label(w(), "Label15")->text(), label15On ? QStringLiteral("自動更新") : QStringLiteral("自動更新なし"));
    QCOMPARE(dialogs_->messages, message.isEmpty() ? QStringList() : QStringList{message});
    if (!input.isEmpty() && input.size() < 2034) QCOMPARE(readAtFarEnd(*pty_, 276).left(7), messageStart());
    if (active) {
      QVERIFY(countUpdateCommands(*pty_, 3) >= 3);
      QVERIFY(timer1(w())->isActive());  // each tick rearms it
      timer1(w())->stop();
    }
    QVERIFY(updateCommandsIn(readUntilQuiet(*pty_)) >= 0);
    QCOMPARE(readUntilQuiet(*pty_, 200), QByteArray());
  }

  void nothingComesBetweenTheMessageAndItsPackets() {
    // The timer is due at every turn of the event loop while a three-frame
    // message is sent: update commands come before and after it, never inside.
    switchOn();
    timer1(w())->setInterval(0);
    textField(w(), "Text3")->setFieldText(QStringLiteral("あ").repeated(300));
    button(w(), "Command1")->click();
    timer1(w())->stop();
    const QByteArray got = readUntilQuiet(*pty_);
    const int messageSize = 14 + 3 * 262;
    const qsizetype start = got.indexOf(messageStart());
    QVERIFY(start >= 0);
    QVERIFY(updateCommandsIn(got.left(start)) >= 0);
    QCOMPARE(got.mid(start + 7, 7), bytesOf("00 00 04 03 00 07 EF"));
    for (int k = 1; k <= 3; ++k)
      QCOMPARE(got.mid(start + 14 + 262 * (k - 1), 262),
               QByteArray::fromHex(textField(w(), qPrintable(QStringLiteral("Text%1").arg(21 + k)))->fieldText().toLatin1()));
    QVERIFY(updateCommandsIn(got.mid(start + messageSize)) >= 0);
  }

  void closedPortStopsTheTimerQuietly() {
    switchOn();
    w().port().close();
    QTRY_VERIFY_WITH_TIMEOUT(!timer1(w())->isActive(), 5000);
    QVERIFY(check1(w())->isChecked());
    QCOMPARE(dialogs_->messages, QStringList());
  }
};

QTEST_MAIN(AutoUpdateTest)
#include "tst_auto_update.moc"
