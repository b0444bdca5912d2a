// The real main window offscreen, typed into as an operator would, its port on
// a pseudo-terminal read by the module-side decoder.

#include "face/module_face.h"
#include "tests/support/bytes.h"
#include "tests/support/rig.h"
#include "about/system_info.h"
#include "line_words/line_words.h"
#include "ui/operator_dialogs.h"
#include "ui/preview_window.h"
#include "ui/translations.h"

#include <QCheckBox>
#include <QClipboard>
#include <QMessageBox>
#include <QProgressBar>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSerialPort>
#include <QSerialPortInfo>
#include <QSettings>
#include <QToolTip>
#include <QTest>

#include <algorithm>

#include <grp.h>
#include <sys/utsname.h>

using namespace vf;

namespace {

struct Started : rig::WindowRig {
  explicit Started(const QString &windowState = {}) : rig::WindowRig(QByteArray("1\r\n"), windowState) {
    start();
    QApplication::setActiveWindow(window.get());
  }
  // Runs convert-and-send and reads the message; the update commands that the
  // timer sends afterwards are stopped.
  void send(const QString &text) {
    find<TextField>(u"inputField"_qs)->setFieldText(QString());
    type(u"inputField"_qs, text);
    press(u"convertAndSendButton"_qs);
    find<QTimer>(u"updateTick"_qs)->stop();
    module.settle();
  }
};

// Types into a result field, then selects all of it and copies it with the keys.
QString typedThenCopied(QWidget *field) {
  QTest::keyClicks(field, u"x"_qs);
  QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(field, Qt::Key_C, Qt::ControlModifier);
  return QGuiApplication::clipboard()->text();
}

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT
 private slots:
  void convertAndSend() {
    Started rig;
    rig.send(u"あ\nｶﾞ"_qs);
    QCOMPARE(rig.field(u"inputField"_qs), u"あ\r\nｶﾞ"_qs);  // Enter is CR LF
    QCOMPARE(rig.module.messages(), QStringList{u"あ　　ガ"_qs + QString(14, QChar(0x3000))});
    QCOMPARE(rig.field(u"framePacketField1"_qs), QString::fromLatin1(rig.module.bytes.mid(14).toHex().toUpper()));
    QCOMPARE(rig.field(u"conversionStatusLabel"_qs) + rig.field(u"frameCountField"_qs), u"変換完了！1"_qs);
    rig.send(QString());  // nothing to send: told, and the fields of the packet before are emptied
    QCOMPARE(rig.dialogs.messages.join(u'|') + rig.field(u"jisBinaryField"_qs) + rig.field(u"checksumField"_qs) + rig.field(u"packedPacketField"_qs),
             u"文字を入力してください"_qs);
    rig.window->close();  // with nothing on its way, the close box closes the port at once
    QVERIFY(!rig.window->isVisible() && !rig.find<vf::ModuleLink>(u"link"_qs)->isOpen());
  }

  // The box about an unusable character finds the run as it stands; when it
  // is closed, the first such character is selected in inputField: an emoji, one
  // character, whole, so that Delete leaves no half behind.
  void unusableCharacter() {
    Started rig;
    rig.send(u"い"_qs);
    QStringList atBox;
    rig.dialogs.atMessage = [&](const QString &) {
      for (const char *name : {"conversionStatusLabel", "packetTextField", "frameCountField", "errorCaptionLabel"}) atBox << rig.field(QString::fromLatin1(name));
    };
    rig.module.clear();
    rig.send(u"漢\nab😀字髙"_qs);
    QCOMPARE(rig.dialogs.messages, QStringList{u"使用不可能な文字が含まれています"_qs});
    QCOMPARE(atBox, (QStringList{u"変換中..."_qs, u"00 01 00 00 8B 41 02 81 04 81 04 81 0D 82 0D "_qs, u"1"_qs, QString()}));
    auto *input = rig.find<TextField>(u"inputField"_qs);
    QCOMPARE(input->textCursor().selectedText(), u"😀"_qs);
    QCOMPARE(QApplication::focusWidget(), input);
    QTest::keyClick(input, Qt::Key_Delete);
    QVERIFY(input->fieldText() == u"漢\r\nab字髙"_qs && input->marks().size() == 1);
    QCOMPARE(rig.field(u"errorCaptionLabel"_qs) + rig.field(u"conversionStatusLabel"_qs), u"文字コード ERROR変換完了！"_qs);
    QCOMPARE(rig.module.messages(), QStringList{u"漢　　ａｂ"_qs});  // the frame ends where the character stood
  }

  // 新規作成, 全テキストクリア and a loaded file each replace the text as one
  // edit: Ctrl+Z brings back exactly what was there.
  void undo() {
    Started rig;
    rig.dialogs.filesToChoose = {rig.folder.filePath(u"lines.txt"_qs)};
    QVERIFY(writeFile(rig.dialogs.filesToChoose[0], "x\ny"));  // a lone LF stays in its line
    rig.type(u"inputField"_qs, u"ab"_qs);
    rig.press(u"loadTextFileAction"_qs);
    auto *input = rig.find<TextField>(u"inputField"_qs);
    for (const char *clear : {"newTextAction", "clearAllTextButton"}) {
      rig.press(QString::fromLatin1(clear));
      QCOMPARE(input->fieldText(), QString());
      QTest::keyClick(input, Qt::Key_Z, Qt::ControlModifier);
      QCOMPARE(input->fieldText(), u"x\ny\r\n"_qs);
    }
    QTest::keyClick(input, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(input->fieldText(), u"ab"_qs);
  }

  // Ctrl+Return sends from anywhere in the window, Ctrl+O loads, Ctrl+Q ends,
  // and the menus show these keys. Tab leaves the input field (Ctrl+Tab types
  // a tab); the fields that show results take no typing and are no stops of Tab.
  void keys() {
    Started rig;
    rig.type(u"inputField"_qs, u"あ"_qs);
    auto *input = rig.find<TextField>(u"inputField"_qs), *moduleText = rig.find<TextField>(u"moduleTextField"_qs);
    QTest::keyClick(input, Qt::Key_Return, Qt::ControlModifier);
    QTest::keyClick(moduleText, Qt::Key_Enter, Qt::ControlModifier | Qt::KeypadModifier);
    rig.find<QTimer>(u"updateTick"_qs)->stop();
    rig.module.settle();
    QCOMPARE(rig.module.messages().size(), 2);
    QCOMPARE(input->fieldText() + typedThenCopied(moduleText) + typedThenCopied(rig.find<QWidget>(u"characterCountField"_qs)),
             u"あ"_qs + u"あ"_qs + QString(14, QChar(0x3000)) + u"15"_qs);
    input->setFocus();
    QTest::keyClick(input, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), rig.find<QWidget>(u"convertAndSendButton"_qs));
    for (int i = 0; i < 30; ++i) {  // round the window: no result field on the way
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      QVERIFY(QApplication::focusWidget() == input || !QApplication::focusWidget()->objectName().contains(QRegularExpression(u"Field\\d*$"_qs)));
    }
    input->setFocus();
    QTest::keyClick(input, Qt::Key_Tab, Qt::ControlModifier);  // Ctrl+Tab types a tab; Tab typed none on the way
    QCOMPARE(input->fieldText(), u"あ\t"_qs);
    QTest::keyClick(input, Qt::Key_O, Qt::ControlModifier);
    QCOMPARE(rig.dialogs.fileFilters.size(), 1);
    QTest::keyClick(input, Qt::Key_Q, Qt::ControlModifier);
    QTRY_COMPARE(rig.endRequests, 1);
    QStringList shown;
    for (const char *item : {"convertAndSendAction", "loadTextFileAction", "endAction"}) shown << rig.find<QAction>(QString::fromLatin1(item))->shortcut().toString();
    QCOMPARE(shown, (QStringList{u"Ctrl+Return"_qs, u"Ctrl+O"_qs, u"Ctrl+Q"_qs}));
  }

  // Bytes still on their way show in the status area, and 終了, the close box
  // and ポート変更 wait for the last of them before the port closes.
  void lastByte_data() {
    QTest::addColumn<QString>("way");
    QTest::addColumn<int>("outcome");  // after the last byte: 0 an end request, 1 the window hidden, 2 the port dialog
    QTest::newRow("終了") << "endButton" << 0;
    QTest::newRow("close box") << "close" << 1;
    QTest::newRow("ポート変更") << "changePortButton" << 2;
  }
  void lastByte() {
    QFETCH(QString, way);
    QFETCH(int, outcome);
    Started rig;
    rig.dialogs.filesToChoose = {rig.folder.filePath(u"big.txt"_qs)};
    QVERIFY(writeFile(rig.dialogs.filesToChoose[0], hex("8E9A").repeated(2031)));  // 16 frames
    rig.press(u"loadTextFileAction"_qs);
    QVERIFY(rig.module.line.holdOutput(true));  // a line that takes nothing for now
    rig.press(u"convertAndSendButton"_qs);
    auto *progress = rig.find<QProgressBar>(u"sendProgressBar"_qs);
    const auto shown = [&] { return QRegularExpression(u"^送信中 (\\d+)／(\\d+) バイト$"_qs).match(progress->text()); };
    QTRY_VERIFY(progress->isVisible() && shown().captured(1).toInt() < 4206 && shown().captured(2).toInt() >= 4206);
    if (way == u"close") rig.window->close();
    else rig.press(way);
    QTest::qWait(200);
    QVERIFY(rig.find<vf::ModuleLink>(u"link"_qs)->isOpen() && rig.endRequests == 0 && rig.window->isVisible());
    QVERIFY(rig.module.line.holdOutput(false));
    rig.module.settle();
    QTRY_VERIFY(!rig.find<vf::ModuleLink>(u"link"_qs)->isOpen());
    QCOMPARE(rig.module.messages().size(), 1);
    QVERIFY(!progress->isVisible());
    // Exactly the way's own outcome, and neither of the others.
    const QList<bool> outcomes = {rig.endRequests == 1, !rig.window->isVisible(), rig.dialog() != nullptr};
    QCOMPARE(outcomes, (QList<bool>{outcome == 0, outcome == 1, outcome == 2}));
  }

  // A line that takes nothing is waited for no longer than the line time of
  // what is pending and a second: 276 bytes, 144 ms.
  void lineThatTakesNothing() {
    Started rig;
    QVERIFY(rig.module.line.holdOutput(true));
    rig.send(u"あ"_qs);
    QElapsedTimer clock;
    clock.start();
    rig.press(u"endButton"_qs);
    QTRY_VERIFY_WITH_TIMEOUT(rig.endRequests == 1, 5000);
    QVERIFY2(clock.elapsed() >= 1100 && clock.elapsed() < 1800, qPrintable(QString::number(clock.elapsed())));
  }

  // A message box is as wide as its title, and a command in it keeps its line.
  void messageBoxes() {
    qputenv("USER", "op");
    const auto box = messageBox(nullptr, openFailureText({false, u"/dev/ttyS0"_qs, PortOpenResult::Failure::Refused, u"Permission denied"_qs, true}));
    // The title in a bold title bar, with room for the bar's three buttons,
    // also above a short message.
    const auto shortBox = messageBox(nullptr, u"ポートが開いていません"_qs);
    shortBox->show();
    QVERIFY(QTest::qWaitForWindowExposed(shortBox.get()));
    QFont bold = shortBox->font();
    bold.setBold(true);
    QVERIFY2(shortBox->width() >= QFontMetrics(bold).horizontalAdvance(kApplicationTitle) + 3 * 24,
             qPrintable(QStringLiteral("%1 %2").arg(shortBox->width()).arg(QFontMetrics(bold).horizontalAdvance(kApplicationTitle))));
    QCOMPARE(box->text(), u"/dev/ttyS0: Permission denied\nシリアルポートを使うには、dialout グループに入ってからログインし直してください:\nsudo usermod -aG dialout op"_qs);
    QVERIFY(box->icon() == QMessageBox::NoIcon);
  }

  // The bytes of each command as the module's documentation gives them.
  void commands_data() {
    QTest::addColumn<QStringList>("presses");
    QTest::addColumn<QByteArray>("arrived");
    QTest::newRow("display clear, button and menu") << QStringList{"displayClearButton", "displayClearAction"} << hex("00001400 0014EF").repeated(2);
    QTest::newRow("data cue, button and menu") << QStringList{"dataCueButton", "dataCueAction"} << hex("00001800 0018EF").repeated(2);
  }
  void commands() {
    QFETCH(QStringList, presses);
    QFETCH(QByteArray, arrived);
    Started rig;
    rig.type(u"inputField"_qs, u"テスト"_qs);
    const auto labels = [&] { return rig.field(u"moduleTextField"_qs) + rig.field(u"conversionStatusLabel"_qs) + rig.field(u"autoUpdateStateLabel"_qs) + rig.field(u"errorCaptionLabel"_qs); };
    const QString before = labels();
    for (const QString &name : presses) rig.press(name);
    rig.module.settle();
    QCOMPARE(rig.module.bytes, arrived);
    QCOMPARE(labels(), before);  // the control commands leave the window alone
    // With the port closed, each says so and sends nothing.
    rig.find<vf::ModuleLink>(u"link"_qs)->close();
    rig.press(presses[0]);
    QCOMPARE(rig.dialogs.messages.value(0), u"ポートが開いていません"_qs);
  }

  void speeds() {
    Started rig;
    rig.press(u"speedMediumAction"_qs);
    rig.send(u"A"_qs);
    rig.press(u"speedSlowAction"_qs);
    QTest::mouseClick(rig.find<QRadioButton>(u"speedFastOption"_qs), Qt::LeftButton);
    rig.send(u"A"_qs);
    QVERIFY(rig.find<QAction>(u"speedSlowAction"_qs)->isChecked() && !rig.find<QAction>(u"speedFastestAction"_qs)->isChecked());
    QStringList speeds;
    for (const ModuleEvent &e : rig.module.events)
      if (const auto *message = e.as<decoded::Message>()) speeds << QString::number(message->speed);
    QCOMPARE(speeds, (QStringList{u"3"_qs, u"1"_qs}));  // 中速, then the option button's 高速
  }

  void textCommands() {
    Started rig;
    rig.send(u"ABC"_qs);
    QVERIFY(rig.module.line.write(hex("1122C041")));  // what the module says shows in replyField
    QTRY_COMPARE(rig.field(u"replyField"_qs), u"ﾀA"_qs);
    rig.type(u"inputField"_qs, u"DEF"_qs);
    for (const char *count : {"countCharactersAction", "countCharactersButton"}) {  // the count of moduleTextField; nothing is sent
      rig.press(QString::fromLatin1(count));
      QCOMPARE(rig.field(u"characterCountField"_qs), u"17"_qs);
    }

    // A file of 2031 characters (2033 with its line end) fills all 16 frame fields.
    rig.dialogs.filesToChoose = {rig.folder.filePath(u"big.txt"_qs), rig.folder.filePath(u"small.txt"_qs),
                                 rig.folder.filePath(u"gone.txt"_qs), QString()};
    QVERIFY(writeFile(rig.dialogs.filesToChoose[0], hex("8E9A").repeated(2031)) &&
            writeFile(rig.dialogs.filesToChoose[1], hex("CAB20D0A8ABF")));
    rig.press(u"loadTextFileAction"_qs);
    QCOMPARE(rig.dialogs.fileFilters.value(0), u"テキストファイル (*.txt)|*.txt"_qs);
    rig.press(u"convertAndSendButton"_qs);
    rig.find<QTimer>(u"updateTick"_qs)->stop();
    QCOMPARE(rig.field(u"frameCountField"_qs) + rig.field(u"framePacketField16"_qs).left(6), u"16001000"_qs);
    rig.press(u"newTextAction"_qs);  // every field but replyField
    for (QWidget *field : rig.window->findChildren<QWidget *>(QRegularExpression(u"Field\\d*$"_qs)))
      QCOMPARE(rig.field(field->objectName()), field->objectName() == u"replyField" ? u"ﾀA"_qs : QString());
    QCOMPARE(rig.field(u"conversionStatusLabel"_qs), u"変換完了！"_qs);

    // The file as it was read; a file that cannot be read and one that is no
    // text are told and leave inputField as it was; a cancelled dialog.
    rig.press(u"loadTextFileAction"_qs);
    QCOMPARE(rig.field(u"inputField"_qs), u"ﾊｲ\r\n漢\r\n"_qs);
    rig.dialogs.filesToChoose.prepend(rig.folder.filePath(u"program.txt"_qs));  // the start of a program, not text
    QVERIFY(writeFile(rig.dialogs.filesToChoose[0], QByteArray("\x7F" "ELF\x02\x01\x01\0\0", 9)));
    for (int i = 0; i < 3; ++i) rig.press(u"loadTextFileButton"_qs);
    QCOMPARE(rig.field(u"inputField"_qs), u"ﾊｲ\r\n漢\r\n"_qs);
    QVERIFY(rig.dialogs.messages.size() == 2 && rig.dialogs.messages[0].startsWith(u"テキストファイルではありません"_qs) &&
            rig.dialogs.messages[1].startsWith(u"ファイルを読み込めませんでした。"_qs));
  }

  // Every way the auto-update timer is switched, counted in update commands at the module.
  void autoUpdate_data() {
    QTest::addColumn<QString>("steps");
    QTest::addColumn<bool>("updating");
    QTest::addColumn<QString>("stateLabel");
    QTest::newRow("tick the check box alone") << "tick" << false << "自動更新なし";
    QTest::newRow("tick, menu") << "tick menu" << true << "自動更新";
    QTest::newRow("tick, menu, clear the check box") << "tick menu tick" << false << "自動更新";
    QTest::newRow("menu with the check box cleared") << "tick menu tick menu" << false << "自動更新なし";
    QTest::newRow("convert and send") << "send" << true << "自動更新なし";
    QTest::newRow("convert and send, a modem line") << "send lines" << false << "自動更新なし";
    QTest::newRow("ticked: through replies") << "tick send reply" << true << "自動更新";
    QTest::newRow("empty text stops it") << "tick menu clear send" << false << "自動更新";
  }
  void autoUpdate() {
    QFETCH(QString, steps);
    QFETCH(bool, updating);
    QFETCH(QString, stateLabel);
    Started rig;
    rig.type(u"inputField"_qs, u"A"_qs);
    for (const QString &step : steps.split(u' ')) {
      if (step == u"tick") QTest::mouseClick(rig.find<QCheckBox>(u"autoUpdateCheck"_qs), Qt::LeftButton);
      if (step == u"send") rig.press(u"convertAndSendButton"_qs);
      if (step == u"clear") rig.press(u"clearAllTextButton"_qs);
      if (step == u"reply") QVERIFY(rig.module.line.write("\x11"));
      if (step == u"lines") {  // the smallest seam: a pseudo-terminal has no modem lines
        auto *link = rig.window->findChild<ModuleLink *>();
        link->noteModemLines(QSerialPort::DataSetReadySignal);
        link->noteModemLines(QSerialPort::NoSignal);
      }
      if (step == u"menu") rig.press(u"applyAutoUpdateAction"_qs);
      rig.module.readFor(100);
    }
    rig.module.clear();
    QElapsedTimer clock;
    clock.start();
    rig.module.readFor(600);
    // 50 update commands a second, in their documented bytes: room for a
    // loaded machine, none for another period.
    const auto updates = std::count_if(rig.module.events.begin(), rig.module.events.end(), [](const ModuleEvent &e) { return e.is<decoded::Update>(); });
    const double perSecond = double(updates) * 1000.0 / double(clock.elapsed());
    QVERIFY2(updating ? perSecond >= 40 && perSecond <= 52 : perSecond == 0, qPrintable(QString::number(perSecond)));
    QCOMPARE(rig.module.bytes, hex("00001C00 001CEF").repeated(rig.module.bytes.size() / 7));
    QCOMPARE(rig.field(u"autoUpdateStateLabel"_qs), stateLabel);
  }

  // Unusable characters are marked as they are typed, the preview follows the
  // typing and the speed, and the window remembers where the preview was.
  void marksAndPreview() {
    QTemporaryDir state;
    QPoint placed;
    const QString stateFile = state.filePath(u"window.ini"_qs);
    {
      Started rig(stateFile);
      rig.type(u"inputField"_qs, u"A한\nｶﾞ😀"_qs);
      auto *input = rig.find<TextField>(u"inputField"_qs);
      QCOMPARE(input->fieldText(), u"A한\r\nｶﾞ😀"_qs);
      QCOMPARE(input->extraSelections().size(), 2);
      QCOMPARE(input->extraSelections()[1].cursor.selectedText(), u"😀"_qs);
      QCOMPARE(input->extraSelections()[0].format.underlineStyle(), QTextCharFormat::WaveUnderline);
      QCOMPARE(input->extraSelections()[0].format.underlineColor(), QColor(Qt::red));
      const auto tipAt = [&](int position) {  // hovering over the character at that place
        QTextCursor at(input->document());
        at.setPosition(position);
        const QPoint over = input->cursorRect(at).center() + QPoint(3, 0);
        QHelpEvent hover(QEvent::ToolTip, over, input->viewport()->mapToGlobal(over));
        QApplication::sendEvent(input, &hover);
        return QToolTip::text();
      };
      QCOMPARE(tipAt(1), u"「한」（U+D55C）はモジュールにない文字です。送信すると、そのフレームはこの文字の前で終わります"_qs);
      QVERIFY(tipAt(5).startsWith(u"「😀」（U+1F600）"_qs));  // on the next line
      QCOMPARE(input->textCursor().position(), 7);  // marking moves no cursor
      const int undoSteps = input->document()->availableUndoSteps();
      input->setMarks(input->marks());
      QCOMPARE(input->document()->availableUndoSteps(), undoSteps);  // nor the undo history

      rig.press(u"previewAction"_qs);
      auto *preview = rig.window->findChild<PreviewWindow *>();
      QVERIFY(preview && preview->isVisible());  // placed: tst_window_manager
      QCOMPARE(preview->faceText(), u"Ａ"_qs + kMarkedCell);
      QTest::mouseClick(rig.find<QRadioButton>(u"speedMediumFastOption"_qs), Qt::LeftButton);
      QTRY_COMPARE_WITH_TIMEOUT(preview->face().speedByte(), 2, 1000);  // the preview follows at once
      rig.dialogs.filesToChoose = {rig.folder.filePath(u"controls.txt"_qs)};
      QVERIFY(writeFile(rig.dialogs.filesToChoose[0], "\xC3\xA9" "a\x01\x1F\x7F"));  // "éa" and controls, UTF-8
      rig.press(u"loadTextFileAction"_qs);
      QCOMPARE(input->extraSelections().size(), 4);
      QCOMPARE(tipAt(2).left(11) + tipAt(3).left(11) + tipAt(4).left(11), u"「␁」（U+0001）「␟」（U+001F）「␡」（U+007F）"_qs);  // control characters, named
      QTRY_COMPARE_WITH_TIMEOUT(preview->faceText(), QString(kMarkedCell), 1000);
      preview->move(placed = preview->pos() + QPoint(0, -30));
      rig.press(u"endAction"_qs);  // 終了 remembers where it is
      QTRY_COMPARE(rig.endRequests, 1);
    }
    Started again(stateFile);
    auto *preview = again.window->findChild<PreviewWindow *>();
    QVERIFY(preview && preview->isVisible());
    QCOMPARE(preview->pos(), placed);
    preview->close();
    QVERIFY(!again.find<QAction>(u"previewAction"_qs)->isChecked());
  }

  // Qt's own texts in Japanese, as every caption of the program is.
  void japaneseQtTexts() {
    QCOMPARE(installJapaneseTranslations(*qApp), 2);
    QCOMPARE(QCoreApplication::translate("QFileDialog", "Look in:"), u"アドレス:"_qs);
    QSerialPort port(u"/nonexistent/ttyS0"_qs);
    port.open(QIODevice::ReadWrite);  // there is no such device: the reason is what counts
    QVERIFY2(!port.errorString().contains(u"No such"_qs), qPrintable(port.errorString()));
  }

  void aboutWindow() {
    Started rig;
    rig.press(u"aboutAction"_qs);
    rig.press(u"aboutAction"_qs);
    const auto windows = rig.window->findChildren<QDialog *>();
    QCOMPARE(windows.size(), 1);  // one at a time, and not modal
    QVERIFY(windows[0]->isVisible() && !windows[0]->isModal());
    QCOMPARE(windows[0]->windowTitle(), u"VF3360用　シリアル制御プログラムのﾊﾞｰｼﾞｮﾝ情報"_qs);
    QCOMPARE(windows[0]->findChild<QLabel *>(u"versionLabel"_qs)->text(), QStringLiteral("Ver" VF_VERSION));
    // The system information: what a support call needs, as text that is
    // selected and copied. Run as root, the test joins the group dialout.
    const group *dialout = ::getgrnam("dialout");
    const bool joined = ::geteuid() == 0 && dialout && ::setgroups(1, &dialout->gr_gid) == 0;
    QTest::mouseClick(windows[0]->findChild<QPushButton *>(u"systemInfoButton"_qs), Qt::LeftButton);
    auto *info = rig.window->findChild<SystemInfoWindow *>();
    QVERIFY(info && info->isVisible() && rig.dialogs.messages.isEmpty());
    QCOMPARE(typedThenCopied(info->findChild<QPlainTextEdit *>()), info->report());
    utsname system{};
    QVERIFY(::uname(&system) == 0);
    for (const QString &fact : {QString::fromLatin1(system.release), u"Qt: "_qs + QString::fromLatin1(qVersion()), joined ? u"dialout グループに入っています"_qs : u"dialout"_qs})
      QVERIFY2(info->report().contains(fact), qPrintable(fact));
    QCOMPARE(usbIdText(0x067B, 0x2303) + usbIdText(0x0403, 0x6001), u"067b:23030403:6001"_qs);
    SystemFacts facts{u"Debian GNU/Linux 12"_qs, u"linux 6.1"_qs, u"6.4.2"_qs, u"op"_qs, false, {}};
    facts.ports.push_back({u"/dev/ttyUSB0"_qs, u"FT232R USB UART"_qs, u"FTDI"_qs, u"0403:6001"_qs, u"A1B2"_qs, u"空き"_qs, false});
    const QString report = systemReport(facts);  // each fact under its name
    for (const QString &fact : {u"op（dialout グループに入っていません）"_qs, u"/dev/ttyUSB0"_qs, u"説明: FT232R USB UART"_qs, u"製造元: FTDI"_qs,
                                u"0403:6001"_qs, u"シリアル番号: A1B2"_qs, u"状態: 空き"_qs, u"このユーザーが: 開けません"_qs})
      QVERIFY2(report.contains(fact), qPrintable(fact));
    info->close();
    // Esc, Enter (OK is the default button) and the window system's close request each close it.
    for (int way = 0; way < 3; ++way) {
      rig.press(u"aboutAction"_qs);
      QDialog *about = rig.window->findChild<QDialog *>();
      if (way == 2) about->close();
      else QTest::keyClick(about, way ? Qt::Key_Return : Qt::Key_Escape);
      QTRY_VERIFY(rig.window->findChildren<QDialog *>().isEmpty());
    }
  }

  // A serial port of this computer (if one opens here) as the window's port through a link, as
  // /dev/serial/by-id/... names it: the program's own, which this user may open; to others, this process holds it.
  void systemInfoOfOwnPort() {
    const QString device = QSerialPortInfo::availablePorts().value(0).systemLocation();
    rig::WindowRig rig;
    rig.devices.insert(u"1/0"_qs, rig.folder.filePath(u"by-id"_qs));
    QVERIFY(device.isEmpty() || QFile::link(device, rig.folder.filePath(u"by-id"_qs)));
    rig.start();
    if (!rig.find<vf::ModuleLink>(u"link"_qs)->isOpen()) QSKIP("no serial port of this computer opens here");
    rig.press(u"aboutAction"_qs);
    QTest::mouseClick(rig.window->findChild<QPushButton *>(u"systemInfoButton"_qs), Qt::LeftButton);
    const auto stateOf = [&](const QString &report) {  // from its state to the end of its paragraph
      return report.section(u"シリアルポート "_qs + device + u"\n"_qs, 1).section(u"\n\n"_qs, 0, 0).section(u"状態: "_qs, 1).trimmed() + u'|';
    };
    QCOMPARE(stateOf(rig.window->findChild<SystemInfoWindow *>()->report()) + stateOf(systemReport(gatherSystemFacts(QString()))),
             QStringLiteral("このプログラムが使用中\n  このユーザーが: 開けます|使用中: %1 (PID %2)\n  このユーザーが: 開けます|")
                 .arg(QCoreApplication::applicationName().left(15)).arg(QCoreApplication::applicationPid()));
  }
};

int main(int argc, char *argv[]) {
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  MainWindowTest test;
  return QTest::qExec(&test, argc, argv);
}
#include "tst_main_window.moc"
