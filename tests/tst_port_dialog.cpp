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
  // Every message box of a test is recorded, never shown.
  std::unique_ptr<vf::RecordingDialogs> dialogs_;
  PortSettingsFile settings() const { return PortSettingsFile(dir_.path()); }
  QString iniPath() const { return settings().path(); }

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
  }

 private slots:
  void init() {
    dialogs_ = std::make_unique<vf::RecordingDialogs>();
    vf::resetPortState();
    QFile::remove(iniPath());
  }
  void cleanup() {
    // Any dialog a test left open is closed by confirming it.
    for (QWidget *w : QApplication::topLevelWidgets()) {
      if (auto *d = qobject_cast<Form2 *>(w)) d->Command1_Click();
    }
    settle();
    dialogs_.reset();
  }

  void controlsAsDesigned() {
    QPointer<Form2> dialog = open();
    QVERIFY(dialog);
    QCOMPARE(dialog->windowTitle(), QStringLiteral("ポート選択"));
    QCOMPARE(dialog->size(), QSize(104, 207));
    QCOMPARE(dialog->minimumSize(), dialog->maximumSize());
    const Qt::WindowFlags flags = dialog->windowFlags();
    QVERIFY(!(flags & (Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint |
                       Qt::WindowContextHelpButtonHint)));
    QVERIFY(dialog->isVisible());
    QVERIFY(!dialog->isModal());

    struct Expected {
      const char *name;
      const char *className;
      QString caption;
      QRect geometry;
    };
    const Expected expected[] = {
        {"Label1", "QLabel", "ポート番号", {8, 8, 81, 17}},
        {"Combo1", "QComboBox", "Com 1", {8, 24, 89, 20}},
        {"Option1", "QRadioButton", "RS-232C", {8, 112, 81, 17}},
        {"Option2", "QRadioButton", "USB変換", {8, 128, 81, 17}},
        {"Check1", "QCheckBox", "設定を保持", {8, 152, 89, 17}},
        {"Command1", "QPushButton", "決定", {8, 176, 89, 25}},
    };
    for (const Expected &e : expected) {
      auto *w = control<QWidget>(dialog, e.name);
      QVERIFY2(w, e.name);
      QCOMPARE(w->metaObject()->className(), e.className);
      QCOMPARE(w->geometry(), e.geometry);
      QString caption;
      if (auto *l = qobject_cast<QLabel *>(w)) caption = l->text();
      if (auto *c = qobject_cast<QComboBox *>(w)) caption = c->currentText();
      if (auto *b = qobject_cast<QAbstractButton *>(w)) caption = b->text();
      QCOMPARE(caption, e.caption);
    }

    auto *combo = control<QComboBox>(dialog, "Combo1");
    QVERIFY(combo->isEditable());
    QCOMPARE(combo->count(), 16);
    for (int i = 0; i < 16; ++i) QCOMPARE(combo->itemText(i), QStringLiteral("Com %1").arg(i + 1));
    QVERIFY(control<QRadioButton>(dialog, "Option1")->isChecked());
    QVERIFY(!control<QRadioButton>(dialog, "Option2")->isChecked());
    QVERIFY(!control<QCheckBox>(dialog, "Check1")->isChecked());

    // Tab order: 決定, 設定を保持, the combo box, RS-232C, USB変換.
    QStringList order;
    QWidget *w = control<QWidget>(dialog, "Command1");
    do {
      if (w->focusPolicy() & Qt::TabFocus && !w->objectName().isEmpty() && w->isVisibleTo(dialog)) {
        order.append(w->objectName());
      }
      w = w->nextInFocusChain();
    } while (w != control<QWidget>(dialog, "Command1"));
    QCOMPARE(order, QStringList({"Command1", "Check1", "Combo1", "Option1", "Option2"}));
    QVERIFY(dialogs_->messages.isEmpty());
  }

  void loadResetsTheFile_data() {
    QTest::addColumn<QByteArray>("content");  // "<none>": no file
    QTest::addColumn<int>("iniRewritten");
    QTest::addColumn<int>("portChanging");
    QTest::addColumn<QByteArray>("after");
    QTest::newRow("just written default") << QByteArray("1\r\n") << 1 << 0 << QByteArray("0\r\n");
    QTest::newRow("empty line") << QByteArray("\r\n") << 0 << 0 << QByteArray("0\r\n");
    QTest::newRow("single blank") << QByteArray(" \r\n") << 0 << 0 << QByteArray("0\r\n");
    QTest::newRow("0 stays") << QByteArray("0\r\n") << 0 << 0 << QByteArray("0\r\n");
    QTest::newRow("a code stays") << QByteArray("19\r\n") << 0 << 0 << QByteArray("19\r\n");
    QTest::newRow("junk stays") << QByteArray("junk\r\n") << 0 << 0 << QByteArray("junk\r\n");
    QTest::newRow("no line stays") << QByteArray() << 0 << 0 << QByteArray();
    QTest::newRow("missing stays missing") << QByteArray("<none>") << 0 << 0 << QByteArray("<missing>");
    QTest::newRow("missing after default") << QByteArray("<none>") << 1 << 0 << QByteArray("0\r\n");
    QTest::newRow("port change leaves blank") << QByteArray("\r\n") << 0 << 1 << QByteArray("\r\n");
    QTest::newRow("port change leaves default") << QByteArray("1\r\n") << 1 << 1 << QByteArray("1\r\n");
  }
  void loadResetsTheFile() {
    QFETCH(QByteArray, content);
    QFETCH(int, iniRewritten);
    QFETCH(int, portChanging);
    QFETCH(QByteArray, after);
    if (content != "<none>") QVERIFY(writeRaw(iniPath(), content));
    vf::portState().IniRewritten = iniRewritten;
    vf::portState().PortChanging = portChanging;
    int shown = 0;
    QPointer<Form2> dialog = open(&shown);
    QCOMPARE(shown, 1);
    QCOMPARE(readRaw(iniPath()), after);
    QCOMPARE(vf::portState().PortChanging, 0);
    QCOMPARE(vf::portState().IniRewritten, iniRewritten);  // the load leaves it to the opener
    QCOMPARE(vf::portState().PortChosen, 0);
    QVERIFY(dialogs_->messages.isEmpty());
  }

  void confirm_data() {
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<int>("previousPortNum");
    QTest::addColumn<QString>("comboText");
    QTest::addColumn<bool>("usb");
    QTest::addColumn<bool>("keep");
    QTest::addColumn<int>("portNum");
    QTest::addColumn<int>("portKind");
    QTest::addColumn<QByteArray>("after");
    QTest::addColumn<bool>("complains");
    QTest::newRow("Com 5 USB kept") << QByteArray("0\r\n") << 0 << "Com 5" << true << true << 5 << 1
                                    << QByteArray("21\r\n") << false;
    QTest::newRow("Com 5 USB not kept") << QByteArray("0\r\n") << 0 << "Com 5" << true << false << 5 << 1
                                        << QByteArray("0\r\n") << false;
    QTest::newRow("Com 16 RS kept") << QByteArray("0\r\n") << 0 << "Com 16" << false << true << 16 << 0
                                    << QByteArray("16\r\n") << false;
    QTest::newRow("Com 16 USB kept") << QByteArray("0\r\n") << 0 << "Com 16" << true << true << 16 << 1
                                     << QByteArray("32\r\n") << false;
    QTest::newRow("lower case") << QByteArray("0\r\n") << 7 << "com 5" << false << false << 7 << 0
                                << QByteArray("0\r\n") << true;
    QTest::newRow("above 16") << QByteArray("0\r\n") << 7 << "Com 17" << false << false << 7 << 0
                              << QByteArray("0\r\n") << true;
    QTest::newRow("empty text") << QByteArray("0\r\n") << 7 << "" << false << false << 7 << 0
                                << QByteArray("0\r\n") << true;
    // The previous port is kept, and kept with the kind now selected.
    QTest::newRow("no entry, previous port kept") << QByteArray("0\r\n") << 7 << "COM7" << true << true << 7 << 1
                                                  << QByteArray("23\r\n") << true;
    // No port at all: nothing stored, whatever the kind ("16" would name RS-232C port 16).
    QTest::newRow("no entry, no port, USB kept") << QByteArray("0\r\n") << 0 << "x" << true << true << 0 << 1
                                                 << QByteArray("\r\n") << true;
  }
  void confirm() {
    QFETCH(QByteArray, before);
    QFETCH(int, previousPortNum);
    QFETCH(QString, comboText);
    QFETCH(bool, usb);
    QFETCH(bool, keep);
    QFETCH(int, portNum);
    QFETCH(int, portKind);
    QFETCH(QByteArray, after);
    QFETCH(bool, complains);
    QVERIFY(writeRaw(iniPath(), before));
    vf::portState().PortNum = previousPortNum;
    QPointer<Form2> dialog = open();

    confirm(dialog, comboText, usb, keep);
    settle();
    QVERIFY(dialog.isNull());  // closed and destroyed
    QCOMPARE(vf::portState().PortChosen, 1);
    QCOMPARE(vf::portState().PortNum, portNum);
    QCOMPARE(vf::portState().PortKind, portKind);
    QCOMPARE(readRaw(iniPath()), after);
    QCOMPARE(dialogs_->messages,
             complains ? QStringList{QStringLiteral("ポート番号を選択してください")} : QStringList{});
  }

  void kindFollowsTheOptionButtonsAtOnce() {
    QPointer<Form2> dialog = open();
    QTest::mouseClick(control<QRadioButton>(dialog, "Option2"), Qt::LeftButton);
    QCOMPARE(vf::portState().PortKind, 1);
    QTest::mouseClick(control<QRadioButton>(dialog, "Option1"), Qt::LeftButton);
    QCOMPARE(vf::portState().PortKind, 0);
    QCOMPARE(vf::portState().PortChosen, 0);
  }

  // Typed text is taken as it stands; Enter in the combo box neither adds it
  // to the list nor confirms. Enter on "決定" confirms.
  void typingAPortNumber() {
    QPointer<Form2> dialog = open();
    auto *combo = control<QComboBox>(dialog, "Combo1");
    combo->lineEdit()->clear();
    QTest::keyClicks(combo->lineEdit(), QStringLiteral("Com 12"));
    QTest::keyClick(combo->lineEdit(), Qt::Key_Return);
    QCOMPARE(combo->count(), 16);
    QCOMPARE(combo->currentText(), QStringLiteral("Com 12"));
    QCOMPARE(vf::portState().PortChosen, 0);
    QTest::keyClick(control<QCheckBox>(dialog, "Check1"), Qt::Key_Enter);
    QCOMPARE(vf::portState().PortChosen, 0);

    auto *command1 = control<QPushButton>(dialog, "Command1");
    command1->setFocus();
    QTest::keyClick(command1, Qt::Key_Return);
    QCOMPARE(vf::portState().PortChosen, 1);
    QCOMPARE(vf::portState().PortNum, 12);
    settle();
    QVERIFY(dialog.isNull());
    QVERIFY(dialogs_->messages.isEmpty());
  }

  void onlyConfirmingClosesIt() {
    QPointer<Form2> dialog = open();
    QTest::keyClick(dialog, Qt::Key_Escape);
    settle();
    QVERIFY(dialog && dialog->isVisible());
    QVERIFY(!dialog->close());
    dialog->reject();
    settle();
    QVERIFY(dialog && dialog->isVisible());
    QCOMPARE(vf::portState().PortChosen, 0);

    QTest::keyClick(control<QPushButton>(dialog, "Command1"), Qt::Key_Space);
    settle();
    QVERIFY(dialog.isNull());
    QCOMPARE(vf::portState().PortChosen, 1);
    QCOMPARE(vf::portState().PortNum, 1);
  }

  void theOpenerWaitsForTheConfirmation() {
    QPointer<Form2> dialog = open();
    QTimer::singleShot(20, dialog, [dialog] { dialog->Command1_Click(); });
    vf::waitUntilPortChosen();
    QCOMPARE(vf::portState().PortChosen, 1);
    QCOMPARE(vf::portState().PortNum, 1);
    settle();
    QVERIFY(dialog.isNull());
  }

  void everyDialogStartsAfresh() {
    QPointer<Form2> first = open();
    confirm(first, QStringLiteral("Com 9"), true, true);
    settle();
    QVERIFY(first.isNull());
    vf::portState().PortChosen = 0;

    QPointer<Form2> second = open();
    QVERIFY(second);
    QCOMPARE(control<QComboBox>(second, "Combo1")->currentText(), QStringLiteral("Com 1"));
    QVERIFY(control<QRadioButton>(second, "Option1")->isChecked());
    QVERIFY(!control<QCheckBox>(second, "Check1")->isChecked());
  }

  void unwritableFileIsReportedAndTheDialogGoesOn() {
    QTemporaryDir dir;
    const QString blocked = dir.filePath(QStringLiteral("blocked"));
    QVERIFY(writeRaw(blocked, "x"));
    const PortSettingsFile nowhere(blocked + QStringLiteral("/program"));
    vf::portState().IniRewritten = 1;

    QPointer<Form2> dialog = Form2::showNew(nowhere, {});
    QCOMPARE(dialogs_->messages.size(), 1);
    QVERIFY2(dialogs_->messages[0].contains(QDir::toNativeSeparators(nowhere.path())), qPrintable(dialogs_->messages[0]));

    confirm(dialog, QStringLiteral("Com 2"), true, true);
    settle();
    QVERIFY(dialog.isNull());
    QCOMPARE(dialogs_->messages.size(), 2);
    QVERIFY(dialogs_->messages[1].contains(QDir::toNativeSeparators(nowhere.path())));
    QCOMPARE(vf::portState().PortNum, 2);
    QCOMPARE(vf::portState().PortKind, 1);
    QCOMPARE(vf::portState().PortChosen, 1);
  }
};

QTEST_MAIN(PortDialogTest)
#include "tst_port_dialog.moc"
