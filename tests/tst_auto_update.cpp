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
  // Finish a command that is partly read.
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
  QLabel *label15() { return label(w(), "Label15"); }

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
    QCOMPARE(dialogs_->messages, QStringList());  // auto update never asks the operator anything
    window_.reset();
    pty_.reset();
    dialogs_.reset();
  }

  void tickingCheck1AloneChangesNothing() {
    check1(w())->setChecked(true);
    QVERIFY(!timer1(w())->isActive());
    QCOMPARE(label15()->text(), QStringLiteral("自動更新なし"));
    QCOMPARE(readUntilQuiet(*pty_, 200), QByteArray());
  }

  void menuAppliesCheck1() {
    check1(w())->setChecked(true);
    action(w(), "Reload")->trigger();
    QCOMPARE(label15()->text(), QStringLiteral("自動更新"));
    QVERIFY(timer1(w())->isActive());
    QVERIFY(countUpdateCommands(*pty_, 3) >= 3);
    QVERIFY(timer1(w())->isActive());  // each tick rearms the timer

    // The menu with Check1 cleared: status and timer follow it.
    check1(w())->blockSignals(true);  // clear the box without its own handler
    check1(w())->setChecked(false);
    check1(w())->blockSignals(false);
    QVERIFY(timer1(w())->isActive());
    action(w(), "Reload")->trigger();
    QCOMPARE(label15()->text(), QStringLiteral("自動更新なし"));
    QVERIFY(!timer1(w())->isActive());
    QVERIFY(updateCommandsIn(readUntilQuiet(*pty_)) >= 0);
    QCOMPARE(readUntilQuiet(*pty_, 200), QByteArray());
  }

  void clearingCheck1Stops() {
    check1(w())->setChecked(true);
    action(w(), "Reload")->trigger();
    QVERIFY(countUpdateCommands(*pty_, 2) >= 2);

    check1(w())->click();  // the operator clears the box
    QVERIFY(!check1(w())->isChecked());
    QVERIFY(!timer1(w())->isActive());
    QVERIFY(updateCommandsIn(readUntilQuiet(*pty_)) >= 0);
    QCOMPARE(readUntilQuiet(*pty_, 200), QByteArray());
    QCOMPARE(label15()->text(), QStringLiteral("自動更新"));  // as last applied

    // Ticking it again does not restart the timer.
    check1(w())->click();
    QVERIFY(!timer1(w())->isActive());
  }

  void convertAndSendWithCheck1Cleared() {
    // After the message the timer runs all the same.
    textField(w(), "Text3")->setFieldText(QStringLiteral("あ"));
    button(w(), "Command1")->click();
    QCOMPARE(label15()->text(), QStringLiteral("自動更新なし"));
    QVERIFY(timer1(w())->isActive());
    QCOMPARE(readAtFarEnd(*pty_, 276).left(7), messageStart());
    QVERIFY(countUpdateCommands(*pty_, 3) >= 3);
  }

  void convertAndSendWithCheck1Ticked() {
    check1(w())->setChecked(true);
    textField(w(), "Text3")->setFieldText(QStringLiteral("あ"));
    action(w(), "ChangeSend")->trigger();
    QCOMPARE(label15()->text(), QStringLiteral("自動更新"));
    QVERIFY(timer1(w())->isActive());
    QCOMPARE(readAtFarEnd(*pty_, 276).left(7), messageStart());
    QVERIFY(countUpdateCommands(*pty_, 3) >= 3);
  }

  void convertAndSendStartAppliesCheck1() {
    // The timer runs, the box is cleared, and the run sends nothing (too
    // long): its first step stops the timer and it stays stopped.
    timer1(w())->start();
    textField(w(), "Text3")->setFieldText(QStringLiteral("a").repeated(2034));
    button(w(), "Command1")->click();
    dialogs_->messages.removeAll(QStringLiteral("文字数オーバー"));
    QCOMPARE(label15()->text(), QStringLiteral("自動更新なし"));
    QVERIFY(!timer1(w())->isActive());
    QVERIFY(updateCommandsIn(readUntilQuiet(*pty_)) >= 0);
    QCOMPARE(readUntilQuiet(*pty_, 200), QByteArray());
  }

  void emptyInputStopsThroughCheck1() {
    check1(w())->setChecked(true);
    action(w(), "Reload")->trigger();
    QVERIFY(countUpdateCommands(*pty_, 1) >= 1);
    button(w(), "Command1")->click();
    QCOMPARE(dialogs_->messages, QStringList{QStringLiteral("文字を入力してください")});
    dialogs_->messages.clear();
    QVERIFY(!check1(w())->isChecked());
    QVERIFY(!timer1(w())->isActive());
    QCOMPARE(label15()->text(), QStringLiteral("自動更新"));
    QVERIFY(updateCommandsIn(readUntilQuiet(*pty_)) >= 0);
    QCOMPARE(readUntilQuiet(*pty_, 200), QByteArray());
  }

  void nothingComesBetweenTheMessageAndItsPackets() {
    // Auto update runs while a three-frame message is sent, with the timer
    // due at every turn of the event loop: the update commands come before
    // and after the message, never inside it.
    check1(w())->setChecked(true);
    action(w(), "Reload")->trigger();
    timer1(w())->setInterval(0);
    QVERIFY(countUpdateCommands(*pty_, 2) >= 2);
    textField(w(), "Text3")->setFieldText(QStringLiteral("あ").repeated(300));
    button(w(), "Command1")->click();
    timer1(w())->stop();
    const QByteArray got = readUntilQuiet(*pty_);

    const int messageSize = 14 + 3 * 262;
    const qsizetype start = got.indexOf(messageStart());
    QVERIFY(start >= 0);
    QVERIFY(updateCommandsIn(got.left(start)) >= 0);
    const QByteArray message = got.mid(start, messageSize);
    QCOMPARE(message.mid(7, 7), bytesOf("00 00 04 03 00 07 EF"));
    for (int k = 1; k <= 3; ++k)
      QCOMPARE(message.mid(14 + 262 * (k - 1), 262),
               QByteArray::fromHex(textField(w(), qPrintable(QStringLiteral("Text%1").arg(21 + k)))->fieldText().toLatin1()));
    QVERIFY(updateCommandsIn(got.mid(start + messageSize)) >= 0);
  }

  void closedPortStopsTheTimerQuietly() {
    check1(w())->setChecked(true);
    action(w(), "Reload")->trigger();
    QVERIFY(countUpdateCommands(*pty_, 1) >= 1);
    w().port().close();
    QTRY_VERIFY_WITH_TIMEOUT(!timer1(w())->isActive(), 5000);
    QVERIFY(check1(w())->isChecked());
    QCOMPARE(label15()->text(), QStringLiteral("自動更新"));
    // cleanup() checks that no message was shown.
  }
};

QTEST_MAIN(AutoUpdateTest)
#include "tst_auto_update.moc"
