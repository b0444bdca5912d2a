// The About window: its controls, one at a time, non-modal, closed by OK,
// Enter and Esc, and the system information button.

#include "about/about_window.h"
#include "tests/window_harness.h"
#include "ui/operator_dialogs.h"

#include <QtTest>

#include <memory>

using namespace harness;

namespace {

QRect twips(int left, int top, int width, int height) { return {left / 15, top / 15, width / 15, height / 15}; }

}  // namespace

class AboutWindowTest : public QObject {
  Q_OBJECT

  std::unique_ptr<vf::RecordingDialogs> dialogs_;
  std::unique_ptr<Form1> window_;

  Form1 &w() { return *window_; }

  frmAbout *openAbout() {
    action(w(), "VerInf")->trigger();
    return w().findChild<frmAbout *>();
  }

  template <typename T>
  static T *part(frmAbout *about, const char *name) {
    return about->findChild<T *>(QString::fromLatin1(name));
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

  void contents() {
    frmAbout *about = openAbout();
    QVERIFY(about);
    QVERIFY(about->isVisible());
    QCOMPARE(about->windowTitle(), QStringLiteral("VF3360用　シリアル制御プログラムのﾊﾞｰｼﾞｮﾝ情報"));
    QCOMPARE(about->size(), QSize(5730 / 15, 3555 / 15));
    QCOMPARE(about->minimumSize(), about->maximumSize());
    QVERIFY(!about->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    QVERIFY(!about->windowFlags().testFlag(Qt::WindowMinimizeButtonHint));

    QCOMPARE(part<QLabel>(about, "lblTitle")->text(), QStringLiteral("VF3360用　シリアル制御プログラム"));
    QCOMPARE(part<QLabel>(about, "lblVersion")->text(), QStringLiteral("Ver3.95"));
    QCOMPARE(part<QLabel>(about, "lblDescription")->text(),
             QStringLiteral("336*24ドット漢字ROM内蔵蛍光表示管モジュールをRS-232C（シリアルポート）経由で動かすためのソフトです"));
    QVERIFY(!part<QLabel>(about, "lblDisclaimer")->text().isEmpty());
    QCOMPARE(part<QPushButton>(about, "cmdOK")->text(), QStringLiteral("OK"));
    QVERIFY(part<QPushButton>(about, "cmdOK")->isDefault());
    QCOMPARE(part<QPushButton>(about, "cmdSysInfo")->text(), QStringLiteral("ｼｽﾃﾑ情報(&S)..."));
    QVERIFY(part<QFrame>(about, "Line1"));

    const QPixmap icon = part<QLabel>(about, "picIcon")->pixmap();
    QCOMPARE(icon.size(), QSize(32, 32));
    QCOMPARE(about->windowIcon().isNull(), false);

    QCOMPARE(part<QWidget>(about, "picIcon")->geometry(), twips(240, 240, 540, 540));
    QCOMPARE(part<QWidget>(about, "lblTitle")->geometry(), twips(1050, 240, 3885, 480));
    QCOMPARE(part<QWidget>(about, "lblVersion")->geometry(), twips(1080, 720, 3885, 225));
    QCOMPARE(part<QWidget>(about, "lblDescription")->geometry(), twips(1050, 1125, 3885, 1170));
    QCOMPARE(part<QWidget>(about, "lblDisclaimer")->geometry(), twips(255, 2625, 3870, 825));
    QCOMPARE(part<QWidget>(about, "cmdOK")->geometry(), twips(4245, 2625, 1380, 345));
    QCOMPARE(part<QWidget>(about, "cmdSysInfo")->geometry(), twips(4260, 3075, 1380, 345));

    // cmdOK comes first in the tab order.
    QWidget *first = about->nextInFocusChain();
    while (first && !(first->focusPolicy() & Qt::TabFocus)) first = first->nextInFocusChain();
    QCOMPARE(first, part<QWidget>(about, "cmdOK"));
  }

  void nonModalAndOneAtATime() {
    frmAbout *about = openAbout();
    QVERIFY(!about->isModal());
    QVERIFY(QApplication::activeModalWidget() == nullptr);
    QVERIFY(w().isEnabled());
    // The main window goes on working while it is open.
    textField(w(), "Text1")->setFieldText(QStringLiteral("abc"));
    button(w(), "Command6")->click();
    QCOMPARE(lineField(w(), "Text19")->text(), QStringLiteral("3"));

    QCOMPARE(openAbout(), about);
    QCOMPARE(w().findChildren<frmAbout *>().size(), 1);
    QCOMPARE(w().aboutWindow(), about);
  }

  void closing_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("OK") << "OK";
    QTest::newRow("Enter") << "Enter";
    QTest::newRow("Esc") << "Esc";
    QTest::newRow("close box") << "close";
  }
  void closing() {
    QFETCH(QString, how);
    QPointer<frmAbout> about = openAbout();
    QVERIFY(about);
    if (how == "OK") part<QPushButton>(about, "cmdOK")->click();
    if (how == "Enter") QTest::keyClick(about, Qt::Key_Return);
    if (how == "Esc") QTest::keyClick(about, Qt::Key_Escape);
    if (how == "close") about->close();
    QTRY_VERIFY(about.isNull());  // closed and destroyed
    QCOMPARE(w().aboutWindow(), nullptr);

    // A new one opens next time.
    frmAbout *again = openAbout();
    QVERIFY(again);
    QVERIFY(again->isVisible());
  }

  void enterPressesTheFocusedButton() {
    // With the system information button focused, Enter presses it instead.
    QPointer<frmAbout> about = openAbout();
    part<QPushButton>(about, "cmdSysInfo")->setFocus();
    QTest::keyClick(part<QPushButton>(about, "cmdSysInfo"), Qt::Key_Return);
    QCOMPARE(dialogs_->messages, QStringList{QStringLiteral("現時点ではｼｽﾃﾑ情報を使用できません")});
    QVERIFY(about);
    QVERIFY(about->isVisible());
  }

  void systemInformation() {
    frmAbout *about = openAbout();
#ifdef Q_OS_WIN
    QSKIP("starts the system information program where the registry names one");
#endif
    part<QPushButton>(about, "cmdSysInfo")->click();
    QCOMPARE(dialogs_->messages, QStringList{QStringLiteral("現時点ではｼｽﾃﾑ情報を使用できません")});
    QVERIFY(about->isVisible());
    QString value = QStringLiteral("left over");
    QVERIFY(!frmAbout::GetKeyValue(QStringLiteral("HKEY_LOCAL_MACHINE"),
                                   QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO"), QStringLiteral("PATH"),
                                   value));
    QCOMPARE(value, QString());
  }
};

QTEST_MAIN(AboutWindowTest)
#include "tst_about_window.moc"
