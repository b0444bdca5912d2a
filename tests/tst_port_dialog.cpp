// "ポート選択" driven offscreen: its controls, its load, "決定" with every kind
// of combo text, the file it writes, and the ways it must not close.

#include "settings/port_dialog.h"
#include "settings/port_settings.h"
#include "ui/operator_dialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

using vf::Form2;
using vf::PortSettingsFile;

namespace {

QByteArray readRaw(const QString &path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

bool writeRaw(const QString &path, const QByteArray &bytes) {
  QFile f(path);
  return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

template <typename T>
T *control(QWidget *dialog, const char *name) {
  return dialog->findChild<T *>(QString::fromLatin1(name));
}

// Lets a confirmed dialog's deferred deletion happen.
void settle() {
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  QCoreApplication::processEvents();
}

}  // namespace

class PortDialogTest : public QObject {
  Q_OBJECT

  QTemporaryDir dir_;
  std::unique_ptr<vf::RecordingDialogs> dialogs_;
  PortSettingsFile settings() const { return PortSettingsFile(dir_.path()); }
  QString iniPath() const { return settings().path(); }
  const vf::PortState &state() const { return vf::portState(); }

  QPointer<Form2> open(int *mainWindowShown = nullptr) {
    return Form2::showNew(settings(), [mainWindowShown] {
      if (mainWindowShown) ++*mainWindowShown;
    });
  }

  void confirm(Form2 *dialog, const QString &comboText, bool usb, bool keep) {
    control<QComboBox>(dialog, "Combo1")->setEditText(comboText);
    QTest::mouseClick(control<QRadioButton>(dialog, usb ? "Option2" : "Option1"), Qt::LeftButton);
    if (keep) QTest::mouseClick(control<QCheckBox>(dialog, "Check1"), Qt::LeftButton);
    QTest::mouseClick(control<QPushButton>(dialog, "Command1"), Qt::LeftButton);
    settle();
  }

 private slots:
  void init() {
    dialogs_ = std::make_unique<vf::RecordingDialogs>();
    vf::resetPortState();
    QFile::remove(iniPath());
  }
  void cleanup() {
    for (QWidget *w : QApplication::topLevelWidgets())
      if (auto *d = qobject_cast<Form2 *>(w)) d->Command1_Click();
    settle();
    dialogs_.reset();
  }

  void controls() {
    for (int round = 0; round < 2; ++round) {  // a second dialog starts afresh
      QPointer<Form2> dialog = open();
      QCOMPARE(dialog->windowTitle(), QStringLiteral("ポート選択"));
      QVERIFY(!(dialog->windowFlags() & Qt::WindowCloseButtonHint));
      QVERIFY(!dialog->isModal());
      QCOMPARE(control<QLabel>(dialog, "Label1")->text(), QStringLiteral("ポート番号"));
      QCOMPARE(control<QRadioButton>(dialog, "Option1")->text(), QStringLiteral("RS-232C"));
      QCOMPARE(control<QRadioButton>(dialog, "Option2")->text(), QStringLiteral("USB変換"));
      QCOMPARE(control<QCheckBox>(dialog, "Check1")->text(), QStringLiteral("設定を保持"));
      QCOMPARE(control<QPushButton>(dialog, "Command1")->text(), QStringLiteral("決定"));
      auto *combo = control<QComboBox>(dialog, "Combo1");
      QVERIFY(combo->isEditable());
      QCOMPARE(combo->count(), 16);
      QCOMPARE(combo->itemText(15), QStringLiteral("Com 16"));
      QCOMPARE(combo->currentText(), QStringLiteral("Com 1"));
      QVERIFY(control<QRadioButton>(dialog, "Option1")->isChecked());
      QVERIFY(!control<QCheckBox>(dialog, "Check1")->isChecked());
      confirm(dialog, QStringLiteral("Com 9"), true, true);
    }
  }

  void loadResetsTheFile_data() {
    QTest::addColumn<QByteArray>("content");  // null: no file
    QTest::addColumn<int>("iniRewritten");
    QTest::addColumn<int>("portChanging");
    QTest::addColumn<QByteArray>("after");
    QTest::newRow("just written default") << QByteArray("1\r\n") << 1 << 0 << QByteArray("0\r\n");
    QTest::newRow("empty line") << QByteArray("\r\n") << 0 << 0 << QByteArray("0\r\n");
    QTest::newRow("single blank") << QByteArray(" \r\n") << 0 << 0 << QByteArray("0\r\n");
    QTest::newRow("a code stays") << QByteArray("19\r\n") << 0 << 0 << QByteArray("19\r\n");
    QTest::newRow("junk stays") << QByteArray("junk\r\n") << 0 << 0 << QByteArray("junk\r\n");
    QTest::newRow("missing stays missing") << QByteArray() << 0 << 0 << QByteArray("<missing>");
    QTest::newRow("missing after default") << QByteArray() << 1 << 0 << QByteArray("0\r\n");
    QTest::newRow("port change leaves blank") << QByteArray("\r\n") << 0 << 1 << QByteArray("\r\n");
    QTest::newRow("port change leaves default") << QByteArray("1\r\n") << 1 << 1 << QByteArray("1\r\n");
  }
  void loadResetsTheFile() {
    QFETCH(QByteArray, content);
    QFETCH(int, iniRewritten);
    QFETCH(int, portChanging);
    QFETCH(QByteArray, after);
    if (!content.isNull()) QVERIFY(writeRaw(iniPath(), content));
    vf::portState().IniRewritten = iniRewritten;
    vf::portState().PortChanging = portChanging;
    int shown = 0;
    QPointer<Form2> dialog = open(&shown);
    QCOMPARE(shown, 1);
    QCOMPARE(readRaw(iniPath()), after);
    QCOMPARE(state().PortChanging, 0);
    QCOMPARE(state().IniRewritten, iniRewritten);  // the load leaves it to the opener
    QVERIFY(dialogs_->messages.isEmpty());
  }

  void confirm_data() {
    QTest::addColumn<int>("previousPortNum");
    QTest::addColumn<QString>("comboText");
    QTest::addColumn<bool>("usb");
    QTest::addColumn<bool>("keep");
    QTest::addColumn<int>("portNum");
    QTest::addColumn<QByteArray>("after");
    QTest::addColumn<bool>("complains");
    QTest::newRow("Com 5 USB kept") << 0 << "Com 5" << true << true << 5 << QByteArray("21\r\n") << false;
    QTest::newRow("Com 5 USB not kept") << 0 << "Com 5" << true << false << 5 << QByteArray("0\r\n") << false;
    QTest::newRow("Com 16 RS kept") << 0 << "Com 16" << false << true << 16 << QByteArray("16\r\n") << false;
    QTest::newRow("Com 16 USB kept") << 0 << "Com 16" << true << true << 16 << QByteArray("32\r\n") << false;
    QTest::newRow("lower case") << 7 << "com 5" << false << false << 7 << QByteArray("0\r\n") << true;
    QTest::newRow("above 16") << 7 << "Com 17" << false << false << 7 << QByteArray("0\r\n") << true;
    QTest::newRow("empty text") << 7 << "" << false << false << 7 << QByteArray("0\r\n") << true;
    QTest::newRow("previous port kept, new kind") << 7 << "COM7" << true << true << 7 << QByteArray("23\r\n") << true;
    QTest::newRow("no port, USB kept") << 0 << "x" << true << true << 0 << QByteArray("\r\n") << true;
  }
  void confirm() {
    QFETCH(int, previousPortNum);
    QFETCH(QString, comboText);
    QFETCH(bool, usb);
    QFETCH(bool, keep);
    QFETCH(int, portNum);
    QFETCH(QByteArray, after);
    QFETCH(bool, complains);
    QVERIFY(writeRaw(iniPath(), "0\r\n"));
    vf::portState().PortNum = previousPortNum;
    QPointer<Form2> dialog = open();
    confirm(dialog, comboText, usb, keep);
    QVERIFY(dialog.isNull());  // closed and destroyed
    QCOMPARE(state().PortChosen, 1);
    QCOMPARE(state().PortNum, portNum);
    QCOMPARE(state().PortKind, usb ? vf::kKindUsbConverter : vf::kKindRs232c);
    QCOMPARE(readRaw(iniPath()), after);
    QCOMPARE(dialogs_->messages, complains ? QStringList{QStringLiteral("ポート番号を選択してください")} : QStringList{});
  }

  // Typed text is taken as it stands; Enter in the combo box neither adds it
  // to the list nor confirms.
  void typingAPortNumber() {
    QPointer<Form2> dialog = open();
    auto *combo = control<QComboBox>(dialog, "Combo1");
    combo->lineEdit()->clear();
    QTest::keyClicks(combo->lineEdit(), QStringLiteral("Com 12"));
    QTest::keyClick(combo->lineEdit(), Qt::Key_Return);
    QCOMPARE(combo->count(), 16);
    QCOMPARE(state().PortChosen, 0);
    QTest::keyClick(control<QPushButton>(dialog, "Command1"), Qt::Key_Space);
    QCOMPARE(state().PortNum, 12);
  }

  void onlyConfirmingClosesIt() {
    QPointer<Form2> dialog = open();
    QTest::keyClick(dialog, Qt::Key_Escape);
    QVERIFY(!dialog->close());
    dialog->reject();
    settle();
    QVERIFY(dialog && dialog->isVisible());
    QCOMPARE(state().PortChosen, 0);
    QTimer::singleShot(20, dialog, [dialog] { dialog->Command1_Click(); });
    vf::waitUntilPortChosen();  // the opener waits for 決定
    QCOMPARE(state().PortChosen, 1);
    settle();
    QVERIFY(dialog.isNull());
  }

  void unwritableFileIsReportedAndTheDialogGoesOn() {
    QTemporaryDir dir;
    const QString blocked = dir.filePath(QStringLiteral("blocked"));
    QVERIFY(writeRaw(blocked, "x"));
    const PortSettingsFile nowhere(blocked + QStringLiteral("/program"));
    vf::portState().IniRewritten = 1;
    QPointer<Form2> dialog = Form2::showNew(nowhere, {});
    QCOMPARE(dialogs_->messages.size(), 1);
    confirm(dialog, QStringLiteral("Com 2"), true, true);
    QVERIFY(dialog.isNull());
    QCOMPARE(dialogs_->messages.size(), 2);
    for (const QString &m : dialogs_->messages) QVERIFY2(m.contains(QDir::toNativeSeparators(nowhere.path())), qPrintable(m));
    QCOMPARE(state().PortNum, 2);
    QCOMPARE(state().PortChosen, 1);
  }
};

QTEST_MAIN(PortDialogTest)
#include "tst_port_dialog.moc"
