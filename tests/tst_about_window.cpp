// The About window: one at a time, non-modal, closed and destroyed by OK,
// Enter, Esc and its close box, and the system information button.

#include "about/about_window.h"
#include "tests/window_harness.h"
#include "ui/operator_dialogs.h"

#include <QtTest>

#include <memory>

using namespace harness;

class AboutWindowTest : public QObject {
  Q_OBJECT

  std::unique_ptr<vf::RecordingDialogs> dialogs_;
  std::unique_ptr<Form1> window_;

  frmAbout *openAbout() {
    action(*window_, "VerInf")->trigger();
    return window_->findChild<frmAbout *>();
  }

 private slots:
  void init() {
    dialogs_ = std::make_unique<vf::RecordingDialogs>();
    window_ = std::make_unique<Form1>();
    window_->show();
  }
  void cleanup() {
    window_.reset();
    dialogs_.reset();
  }

  void nonModalAndOneAtATime() {
    frmAbout *about = openAbout();
    QVERIFY(about && about->isVisible());
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
    // The main window goes on working while it is open.
    textField(*window_, "Text1")->setFieldText(QStringLiteral("abc"));
    button(*window_, "Command6")->click();
    QCOMPARE(lineField(*window_, "Text19")->text(), QStringLiteral("3"));
    QCOMPARE(openAbout(), about);
    QCOMPARE(window_->findChildren<frmAbout *>().size(), 1);
  }

  void closing_data() {
    QTest::addColumn<int>("key");  // 0: the close box; -1: a click on OK
    QTest::newRow("OK") << -1;
    QTest::newRow("Enter") << int(Qt::Key_Return);
    QTest::newRow("Esc") << int(Qt::Key_Escape);
    QTest::newRow("close box") << 0;
  }
  void closing() {
    QFETCH(int, key);
    QPointer<frmAbout> about = openAbout();
    QVERIFY(about);
    if (key > 0) QTest::keyClick(about, Qt::Key(key));
    else if (key < 0) about->findChild<QPushButton *>("cmdOK")->click();
    else about->close();
    QTRY_VERIFY(about.isNull());  // closed and destroyed
    QCOMPARE(window_->aboutWindow(), nullptr);
    QVERIFY(openAbout()->isVisible());  // a new one opens next time
  }

  // Enter presses the focused button: here the system information button,
  // which tells the operator there is no program to start.
  void systemInformation() {
#ifdef Q_OS_WIN
    QSKIP("starts the system information program where the registry names one");
#endif
    QPointer<frmAbout> about = openAbout();
    QPushButton *sysInfo = about->findChild<QPushButton *>("cmdSysInfo");
    sysInfo->setFocus();
    QTest::keyClick(sysInfo, Qt::Key_Return);
    QCOMPARE(dialogs_->messages, QStringList{QStringLiteral("現時点ではｼｽﾃﾑ情報を使用できません")});
    QVERIFY(about && about->isVisible());
  }
};

QTEST_MAIN(AboutWindowTest)
#include "tst_about_window.moc"
