// Start-up and the port change in the real window: the port selection dialog
// answered with key presses and mouse clicks, one test per path; the device
// going away.

#include "tests/support/rig.h"

#include <QApplication>
#include <QCheckBox>
#include <QPushButton>
#include <QTest>

using namespace vf;

namespace {

const QString kChoose = u"ポート番号を選択してください"_qs;

QString status(int port, const char *kind) {
  return QStringLiteral("オープン CommPort=%1 Settings=19200,N,8,1 %2").arg(port).arg(QString::fromUtf8(kind));
}

bool portOpen(rig::WindowRig &rig) { return rig.find<vf::ModuleLink>(u"link"_qs)->isOpen(); }

}  // namespace

class WindowPortTest : public QObject {
  Q_OBJECT
 private slots:
  void firstStart() {
    rig::WindowRig rig(std::nullopt);
    bool visibleAtMessage = true;
    rig.dialogs.atMessage = [&](const QString &) { visibleAtMessage = rig.window->isVisible(); };
    rig.start();
    QCOMPARE(rig.dialogs.messages, QStringList{u"初期設定ファイル portnum.ini を作成します"_qs});
    QVERIFY(!visibleAtMessage);                              // not before start-up shows it,
    QVERIFY(rig.window->isVisible() && rig.dialog());        // but behind the dialog
    QCOMPARE(rig.ini(), QByteArray("0\r\n"));
    QCOMPARE(rig.field(u"portStatusLabel"_qs), u"ポートクローズ（ポート選択中）"_qs);
    // Modal: a click on the main window, as the window system delivers it, does nothing (no message at the end).
    auto *send = rig.find<QWidget>(u"convertAndSendButton"_qs);
    QTest::mouseClick(rig.window->windowHandle(), Qt::LeftButton, {}, send->mapTo(rig.window.get(), send->rect().center()));
    QTRY_VERIFY(QApplication::focusWidget());
    QStringList order;  // Tab from the port box
    for (int i = 0; i < 5; ++i, QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab)) order << QApplication::focusWidget()->objectName();
    QCOMPARE(order, (QStringList{u"portNumberBox"_qs, u"rs232cOption"_qs, u"keepSettingCheck"_qs, u"confirmButton"_qs, u"portNumberBox"_qs}));
    for (const auto key : {Qt::Key_U, Qt::Key_K, Qt::Key_N}) QTest::keyClick(QApplication::focusWidget(), key, Qt::AltModifier);  // access keys
    const auto checked = [&](const QString &name) { return rig.dialog()->findChild<QWidget *>(name)->property("checked").toBool(); };
    QTRY_VERIFY(checked(u"usbConverterOption"_qs) && checked(u"keepSettingCheck"_qs) && QApplication::focusWidget()->objectName() == u"portNumberBox");
    QVERIFY(rig.answer(u"Com 2"_qs, true, true));
    QTRY_VERIFY(portOpen(rig));
    QCOMPARE(rig.ini(), QByteArray("18\r\n"));
    QCOMPARE(rig.dialogs.messages.size(), 1);
  }

  void storedPortDoesNotOpen() {
    rig::WindowRig rig(QByteArray("4\r\n"));
    rig.start();
    QCOMPARE(rig.dialogs.messages.size(), 1);
    QCOMPARE(rig.dialogs.messages[0].section(u'\n', 0, 0), u"ポートが開けませんでした"_qs);
    QVERIFY(rig.dialogs.messages[0].section(u'\n', 1).startsWith(rig.folder.filePath(u"none: "_qs)));
    QCOMPARE(rig.ini(), QByteArray("0\r\n"));  // the stored port is forgotten
    QVERIFY(rig.answer(u"Com 1"_qs));  // start-up goes on: the dialog
    QTRY_VERIFY(portOpen(rig));
  }

  // No answer (Esc, the close box, Alt+F4): at start-up the window comes up
  // with the port closed and works without it, and "ポート変更" asks again
  // ("決定" untouched: port 1, RS-232C, not kept); during a port change the
  // port before is opened again.
  void noAnswer() {
    rig::WindowRig rig(QByteArray("0\r\n"));
    rig.start();
    QTest::keyClick(rig.dialog(), Qt::Key_Escape);
    QTRY_VERIFY(rig.window->findChildren<PortDialog *>().isEmpty() && rig.window->isVisible());  // gone, and its end handled
    QCOMPARE(rig.field(u"portStatusLabel"_qs), u"ポートクローズ（ポート未選択）"_qs);
    rig.type(u"inputField"_qs, u"あ"_qs);
    rig.press(u"convertAndSendButton"_qs);
    QCOMPARE(rig.dialogs.messages, QStringList{u"ポートが開いていません"_qs});
    rig.press(u"changePortButton"_qs);
    QTRY_VERIFY(rig.dialog());
    QTest::mouseClick(rig.dialog()->findChild<QPushButton *>(u"confirmButton"_qs), Qt::LeftButton);
    QTRY_VERIFY(portOpen(rig));
    QCOMPARE(rig.field(u"portStatusLabel"_qs), status(1, "RS-232C"));
    QCOMPARE(rig.ini(), QByteArray("0\r\n"));
    rig.press(u"changePortButton"_qs);  // Esc during a port change: portChange
    QTRY_VERIFY(rig.dialog() && !portOpen(rig));
    // The window system draws the close box; headless, what the dialog asks of it is what shows.
    QVERIFY(rig.dialog()->windowFlags().testFlag(Qt::WindowCloseButtonHint));
    rig.dialog()->close();
    QTRY_VERIFY(portOpen(rig));
    QCOMPARE(rig.field(u"portStatusLabel"_qs), status(1, "RS-232C"));
    QCOMPARE(rig.dialogs.messages.size(), 1);
  }

  // A portnum.ini that cannot be written is told with its path, once for each
  // write the operator would miss; the port opens all the same.
  void iniCannotBeWritten() {
    rig::WindowRig rig(std::nullopt);
    QVERIFY(QDir(rig.folder.path()).mkdir(u"portnum.ini"_qs));  // a folder in its place
    rig.start();
    QVERIFY(rig.answer(u"Com 4"_qs));  // does not open: start-up writes "1" quietly, the dialog "0"
    QVERIFY(rig.answer(u"Com 1"_qs, false, true));
    QTRY_VERIFY(portOpen(rig));
    QCOMPARE(rig.dialogs.messages.size(), 3);
    QVERIFY(rig.dialogs.messages[0].startsWith(u"ポートが開けませんでした\n"_qs));
    for (int i : {1, 2}) QVERIFY(rig.dialogs.messages[i].startsWith(rig.iniPath() + u" に書き込めませんでした: "_qs));
  }

  // The box's text is compared exactly: nothing completes or corrects it.
  void comboTextIsComparedExactly() {
    rig::WindowRig rig(QByteArray("0\r\n"));
    rig.start();
    rig.press(u"changePortButton"_qs);  // while start-up waits: the same dialog, no second one
    QCOMPARE(rig.window->findChildren<PortDialog *>().size(), 1);
    for (const QString &typed : {u"com 1"_qs, u"C"_qs, u"COM 12"_qs, u"Com 17"_qs, u" Com 1 "_qs}) {
      QVERIFY(rig.answer(typed));
      QTRY_VERIFY(rig.dialogs.messages.size() == 1 && rig.dialog());  // asked again
      QCOMPARE(rig.dialogs.messages.takeFirst(), kChoose);
    }
    QVERIFY(rig.answer(u"Com 1"_qs, false, true, true));  // Enter in the box is "決定"
    QTRY_VERIFY(portOpen(rig));
    QCOMPARE(rig.ini(), QByteArray("1\r\n"));
  }

  void portChange() {
    rig::WindowRig rig;
    rig.start();
    QTest::mouseClick(rig.find<QCheckBox>(u"autoUpdateCheck"_qs), Qt::LeftButton);
    rig.press(u"applyAutoUpdateAction"_qs);
    QVERIFY(rig.find<QTimer>(u"updateTick"_qs)->isActive());
    rig.press(u"changePortButton"_qs);
    QVERIFY(!rig.find<QTimer>(u"updateTick"_qs)->isActive() && !rig.find<QCheckBox>(u"autoUpdateCheck"_qs)->isChecked());
    QVERIFY(!portOpen(rig) && rig.dialog());
    QCOMPARE(rig.field(u"portStatusLabel"_qs), u"ポートクローズ（ポート変更中）"_qs);  // while the dialog is open
    QVERIFY(rig.answer(u"Com 2"_qs, true));
    QTRY_COMPARE(rig.field(u"portStatusLabel"_qs), status(2, "USB変換"));
    QCOMPARE(rig.field(u"autoUpdateStateLabel"_qs), u"自動更新"_qs);  // not changed by the port change
    // No listed port: asked again, on the port in use, kind and all, where
    // Enter confirms it; "設定を保持" kept nothing.
    rig.press(u"changePortButton"_qs);
    QVERIFY(rig.answer(u"com 9"_qs, false, true));
    QTRY_VERIFY(rig.dialogs.messages == QStringList{kChoose} && rig.dialog());
    QCOMPARE(rig.dialog()->findChild<QWidget *>(u"portNumberBox"_qs)->property("currentText"), u"Com 2"_qs);
    QVERIFY(rig.dialog()->findChild<QWidget *>(u"usbConverterOption"_qs)->property("checked").toBool());
    QTest::keyClick(rig.dialog()->findChild<QWidget *>(u"portNumberBox"_qs), Qt::Key_Return);
    QTRY_VERIFY(portOpen(rig));
    QCOMPARE(rig.field(u"portStatusLabel"_qs), status(2, "USB変換"));
    // A port that does not open: the message, and the dialog again, where Esc opens the port before.
    rig.press(u"changePortButton"_qs);
    QVERIFY(rig.answer(u"Com 9"_qs));
    QTRY_COMPARE(rig.dialogs.messages.size(), 2);
    QVERIFY(rig.dialogs.messages[1].startsWith(u"ポートが開けませんでした\n"_qs));
    QTRY_VERIFY(rig.dialog());
    QCOMPARE(rig.field(u"portStatusLabel"_qs), u"ポートクローズ（開けませんでした）"_qs);
    QTest::keyClick(rig.dialog(), Qt::Key_Escape);
    QTRY_VERIFY(portOpen(rig) && rig.field(u"portStatusLabel"_qs) == status(2, "USB変換"));
    QCOMPARE(rig.ini(), QByteArray("1\r\n"));  // the change did not touch the file
  }

  // The device goes away while idle: the port is closed, the operator is told
  // once, and "ポート変更" opens a port again.
  void deviceLost() {
    rig::WindowRig rig;
    rig.start();
    rig.module.line.closeFarEnd();
    rig.module.line.releaseDeviceHandle();
    QTRY_VERIFY(!portOpen(rig));
    QTest::qWait(100);
    QCOMPARE(rig.dialogs.messages,
             QStringList{u"シリアルポートが切断されました。「ポート変更」でポートを開き直してください"_qs});
    QCOMPARE(rig.field(u"portStatusLabel"_qs), u"ポートクローズ（切断されました）"_qs);
    PseudoTerminal other;
    rig.devices.insert(u"1/0"_qs, other.path());
    rig.press(u"changePortButton"_qs);
    QVERIFY(rig.answer(u"Com 1"_qs));
    QTRY_VERIFY(portOpen(rig));
  }
};

QTEST_MAIN(WindowPortTest)
#include "tst_window_port.moc"
