// The real main window offscreen, typed into as an operator would, its port on
// a pseudo-terminal read by the module-side decoder.

#include "face/module_face.h"
#include "tests/support/bytes.h"
#include "tests/support/rig.h"
#include "about/system_info.h"
#include "line_words/line_words.h"
#include "link/port_options.h"
#include "ui/message_wrap.h"
#include "ui/operator_dialogs.h"
#include "ui/preview_window.h"
#include "ui/translations.h"

#include <QCheckBox>
#include <QClipboard>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSerialPort>
#include <QSerialPortInfo>
#include <QSettings>
#include <QSignalSpy>
#include <QToolTip>
#include <QTextLayout>
#include <QTest>

#include <algorithm>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
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
    rig.send(u"い"_qs);
    QCOMPARE(rig.field(u"errorCaptionLabel"_qs), QString());  // the next run starts without it
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
      QTest::keyClick(rig.find<QWidget>(u"clearAllTextButton"_qs), Qt::Key_Z, Qt::ControlModifier);  // the focus on the button
      QCOMPARE(input->fieldText(), u"x\ny\r\n"_qs);
    }
    QTest::keyClick(input, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(input->fieldText(), u"ab"_qs);
    QTest::keyClick(rig.find<QWidget>(u"moduleTextField"_qs), Qt::Key_Y, Qt::ControlModifier);  // redo, from a result field
    QCOMPARE(input->fieldText(), u"x\ny\r\n"_qs);
  }

  // Ctrl+Return sends from anywhere in the window, F10 opens ファイル, Ctrl+O loads, Ctrl+Q ends
  // (Ctrl+P: marksAndPreview, Ctrl+Z and Ctrl+Y: undo). Tab leaves the input field (Ctrl+Tab types
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
    QTest::keyClick(input, Qt::Key_F10);
    QTRY_COMPARE(QApplication::activePopupWidget(), rig.find<QMenu>(u"fileMenu"_qs));
    QApplication::activePopupWidget()->close();
    QTest::keyClick(input, Qt::Key_O, Qt::ControlModifier);
    QCOMPARE(rig.dialogs.fileFilters.size(), 1);
    QTest::keyClick(input, Qt::Key_Q, Qt::ControlModifier);
    QTRY_COMPARE(rig.endRequests, 1);
    // An access key on every menu, item and button (the speeds go by the arrow keys), none
    // twice in one place, none of the window's the same as a menu's; each caption whole.
    const auto keysOf = [](const QList<QAction *> &items, QString keys = {}) {
      for (QAction *a : items) keys += a->isSeparator() ? QString() : QRegularExpression(u"\\(&(.)\\)$"_qs).match(a->text()).captured(1) + u'?';
      return (QSet<QChar>(keys.begin(), keys.end()).size() - 1) * 2 == keys.size() ? keys.remove(u'?') : keys;  // each one key, and its own
    };
    QList<QAction *> captions = rig.window->menuBar()->actions();
    for (auto *button : rig.window->findChildren<QAbstractButton *>()) {
      if (button->isVisible() && !qobject_cast<QRadioButton *>(button)) captions << new QAction(button->text(), button);
      QVERIFY2(!button->isVisible() || button->sizeHint().width() <= button->width(), qPrintable(button->text()));
    }
    QCOMPARE(keysOf(captions), u"FECVIASKOLTDXP"_qs);
    for (QMenu *menu : rig.window->findChildren<QMenu *>()) QVERIFY2(!keysOf(menu->actions()).contains(u'?'), qPrintable(menu->title()));
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
    QSignalSpy ticks(rig.find<QTimer>(u"updateTick"_qs), &QTimer::timeout);
    QTRY_VERIFY(ticks.size() >= 5 && progress->isVisible() && shown().captured(1).toInt() < 4206);
    QCOMPARE(shown().captured(2), u"4206"_qs);  // the message: the updates wait for the line, none piles up
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
  // what is pending and a second (276 bytes, 144 ms); then the operator is told what did not go.
  void lineThatTakesNothing() {
    Started rig;
    QVERIFY(rig.module.line.holdOutput(true));
    rig.send(u"あ"_qs);
    QElapsedTimer clock;
    clock.start();
    rig.press(u"endButton"_qs);
    QTRY_VERIFY_WITH_TIMEOUT(rig.endRequests == 1, 5000);
    QVERIFY2(clock.elapsed() >= 1100 && clock.elapsed() < 1800, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(rig.dialogs.messages, QStringList{u"276 バイトのうち 276 バイトを送信できませんでした（モジュールはメッセージの一部だけを表示しているかもしれません）"_qs});
  }

  // A message box is as wide as its title, and a command in it keeps its line.
  void messageLines_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("width");  // in full-width characters
    QTest::addColumn<QString>("lines");
    QTest::newRow("marks") << u"シリアルポートが切断されました。「ポート変更」でポートを開き直してください"_qs << 16
                           << u"シリアルポートが切断されました。\n「ポート変更」でポートを\n開き直してください"_qs;
    QTest::newRow("particles") << u"使用不可能な文字が含まれています<b>"_qs << 10 << u"使用不可能な文字が\n含まれています<b>"_qs;
    QTest::newRow("brackets, a long phrase") << u"（モジュールはメッセージの一部だけを表示しているかもしれません）"_qs << 12
                                             << u"（モジュールは\nメッセージの一部だけを\n表示しているかもしれません）"_qs;
  }
  void messageLines() {
    QFETCH(QString, text);
    QFETCH(int, width);
    QFETCH(QString, lines);
    const auto box = messageBox(nullptr, text);
    const QFontMetrics metrics(box->font());
    QCOMPARE(wrapAtPhrases(text, metrics, width * metrics.horizontalAdvance(u"あ"_qs)), lines);
    QCOMPARE(box->textFormat(), Qt::PlainText);  // "<b>" shows as it is
  }

  void messageBoxes() {
    qputenv("USER", "op");  // not the name the system knows
    const DeviceFile dialoutsOnly{true, 0, 20, 020660, u"root"_qs, u"dialout"_qs};
    const auto box = messageBox(nullptr, openFailureText({false, u"/dev/ttyS0"_qs, PortOpenResult::Failure::Refused, u"Permission denied"_qs, true, dialoutsOnly}));
    // The title in a bold title bar, with room for the bar's three buttons,
    // also above a short message.
    const auto shortBox = messageBox(nullptr, u"ポートが開いていません"_qs);
    shortBox->show();
    QVERIFY(QTest::qWaitForWindowExposed(shortBox.get()));
    QFont bold = shortBox->font();
    bold.setBold(true);
    QVERIFY2(shortBox->width() >= QFontMetrics(bold).horizontalAdvance(kApplicationTitle) + 3 * 24,
             qPrintable(QStringLiteral("%1 %2").arg(shortBox->width()).arg(QFontMetrics(bold).horizontalAdvance(kApplicationTitle))));
    QCOMPARE(box->text(), u"/dev/ttyS0: Permission denied\nシリアルポートを使うには、dialout グループに入ってから\nログインし直してください:\nsudo usermod -aG dialout "_qs + QString::fromLocal8Bit(::getpwuid(::geteuid())->pw_name));
    QVERIFY(box->icon() == QMessageBox::NoIcon);
  }

  // The bytes of each command as the module's documentation gives them.
  void commands_data() {
    QTest::addColumn<QStringList>("presses");
    QTest::addColumn<QByteArray>("arrived");
    QTest::newRow("display clear, button and menu") << QStringList{"displayClearButton", "displayClearAction"} << hex("00001400 0014EF").repeated(2);
    QTest::newRow("data cue, button and menu") << QStringList{"dataCueButton", "dataCueAction"} << kDataCueCommand.repeated(2);
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

    // A file of 2031 characters (2033 with its line end, the limit the heading states) fills all 16 frame fields.
    QVERIFY(rig.field(u"inputHeading"_qs).contains(u"（最大文字数2033文字）"_qs));
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
    QCOMPARE(rig.module.bytes, kUpdateCommand.repeated(rig.module.bytes.size() / 7));
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

      QTest::keyClick(input, Qt::Key_P, Qt::ControlModifier);  // プレビュー
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
      QTextLayout tip(tipAt(2) + tipAt(4), QToolTip::font());  // and drawn: no glyph missing from the fonts there are
      tip.beginLayout(), tip.createLine(), tip.endLayout();
      for (const QGlyphRun &run : tip.glyphRuns()) QVERIFY2(!run.glyphIndexes().contains(0), qPrintable(run.rawFont().familyName()));
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

  // The system information, opened as an operator does and copied: the user by the system's name whatever $USER says,
  // the device of --device (missing, its name escaped and bounded), the window's port (a pseudo-terminal reached
  // through a link, as /dev/serial/by-id/... names a port) with its port numbers, and every port Qt finds.
  // Run as root, the test joins the group dialout. And the バージョン情報 window that leads there.
  void systemInformation() {
    qunsetenv("USER");
    const group *dialout = ::getgrnam("dialout");
    const bool joined = ::geteuid() == 0 && dialout && ::setgroups(1, &dialout->gr_gid) == 0;
    const QString me = QString::fromLocal8Bit(::getpwuid(::geteuid())->pw_name);
    QTemporaryDir dir;
    const QString given = dir.filePath(u"ttyACM0\n\u202E\\"_qs) + QString(200, u'x');
    rig::WindowRig rig(QByteArray("1\r\n"), {}, given);
    const QString byId = rig.folder.filePath(u"by-id"_qs);
    QVERIFY(QFile::link(rig.module.line.path(), byId) && QFile::setPermissions(byId, QFile::ReadOwner | QFile::WriteOwner | QFile::WriteGroup));
    rig.devices.insert(u"1/0"_qs, byId);
    rig.start();
    // バージョン情報: one window at a time, not modal; Esc, Enter (OK is the default button) and the window
    // system's close request each close it.
    for (int way = 0; way < 3; ++way) {
      rig.press(u"aboutAction"_qs);
      rig.press(u"aboutAction"_qs);
      const auto windows = rig.window->findChildren<QDialog *>();
      QVERIFY(windows.size() == 1 && windows[0]->isVisible() && !windows[0]->isModal());
      if (way == 2) windows[0]->close();
      else QTest::keyClick(windows[0], way ? Qt::Key_Return : Qt::Key_Escape);
      QTRY_VERIFY(rig.window->findChildren<QDialog *>().isEmpty());
    }
    rig.press(u"aboutAction"_qs);
    auto *about = rig.window->findChild<QDialog *>();
    QCOMPARE(about->windowTitle(), u"VF3360用　シリアル制御プログラムのﾊﾞｰｼﾞｮﾝ情報"_qs);
    QCOMPARE(about->findChild<QLabel *>(u"versionLabel"_qs)->text(), QStringLiteral("Ver" VF_VERSION));
    QTest::mouseClick(about->findChild<QPushButton *>(u"systemInfoButton"_qs), Qt::LeftButton);
    auto *info = rig.window->findChild<SystemInfoWindow *>();
    QVERIFY(info && info->isVisible() && rig.dialogs.messages.isEmpty());
    const QString report = info->report();
    QCOMPARE(typedThenCopied(info->findChild<QPlainTextEdit *>()), report);
    const auto paragraph = [&](const QString &head) { return report.section(u"シリアルポート "_qs + head, 1).section(u"\n\n"_qs, 0, 0); };
    const QString shownGiven = dir.filePath(u"ttyACM0\\x0a\\u202e\\\\"_qs) + QString(160 - dir.path().size() - 11, u'x') + u"…（--device で指定）"_qs;
    QVERIFY2(paragraph(shownGiven).endsWith(u"  所有者: —  グループ: —  モード: —\n  状態: デバイスがありません\n"
                                            "  このユーザーが: 開けません — デバイスがありません（接続とデバイス名を確かめてください）"_qs), qPrintable(report));
    QVERIFY2(paragraph(byId).startsWith(u"\n  ポート番号: Com 1（RS-232C）、Com 2（USB変換）\n"_qs) &&
             paragraph(byId).contains(QStringLiteral("  所有者: %1  グループ: ").arg(me)) &&
             paragraph(byId).contains(u"  モード: crw--w---- (620)\n  状態: このプログラムが使用中\n  このユーザーが: 開けます"_qs), qPrintable(report));
    utsname system{};
    QVERIFY(::uname(&system) == 0);
    QStringList facts{QString::fromLatin1(system.release), u"Qt: "_qs + QString::fromLatin1(qVersion()), u"ユーザー: "_qs + me + (joined ? u"（dialout グループに入っています）"_qs : u"（"_qs)};
    for (const QSerialPortInfo &port : QSerialPortInfo::availablePorts()) facts << u"シリアルポート "_qs + port.systemLocation() + u'\n';
    for (const QString &fact : facts) QVERIFY2(report.contains(fact), qPrintable(fact));
    // What a USB chip says, under its names; to others, this process holds the pseudo-terminal; a port number names a
    // device by the program's rule.
    const SerialPortFacts usb{u"/dev/ttyUSB0"_qs, {}, false, u"FT232R\tUSB UART"_qs, u"FTDI"_qs, usbIdText(0x0403, 0x6001), u"A1B2"_qs, {}, {}};
    QVERIFY(systemReport({{}, {}, {}, {}, false, {usb}}).contains(u"ユーザー: —（dialout グループに入っていません）\n\nシリアルポート /dev/ttyUSB0\n  ポート番号: なし（--device で開けます）\n"
                                                            "  説明: FT232R\\x09USB UART\n  製造元: FTDI\n  USB ベンダー:製品: 0403:6001\n  シリアル番号: A1B2\n"_qs));
    QCOMPARE(deviceFacts(rig.module.line.path(), {}, {}).use, QStringLiteral("使用中: %1 (PID %2)").arg(QCoreApplication::applicationName().left(15)).arg(QCoreApplication::applicationPid()));
    QCOMPARE(portNumbersOf(u"/dev/ttyS2"_qs, {}) + u'|' + portNumbersOf(u"/dev/ttyUSB15"_qs, {}) + u'|' + portNumbersOf(u"/dev/ttyS16"_qs, {}) + u'|' + portNumbersOf(given, ModulePort{given}.namer()),
             u"Com 3（RS-232C）|Com 16（USB変換）||Com 1 … Com 16（RS-232C）、Com 1 … Com 16（USB変換）"_qs);
  }

  // Each device as the system information judges it for a user, on real files (one a pseudo-terminal) whose owner,
  // group and mode are set here; the superuser may open anything, so the file goes to a user id of its own.
  void systemInfoOfDevices_data() {
    QTest::addColumn<bool>("terminal");
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("dialoutGroup");  // else the test's own group
    QTest::addColumn<int>("asker");          // the superuser, the owner, another user, one in the group dialout
    QTest::addColumn<QString>("shown");      // the mode, and whether the user may open it
    const QString askOwner = u"開けません — dialout グループに入っても開けません。デバイスの所有者（OWNER）か管理者が、このユーザーが読み書きできるようデバイスの権限を変える必要があります"_qs;
    const QString join = u"開けません — dialout グループに入ってからログインし直すと開けます: sudo usermod -aG dialout op"_qs;
    QTest::newRow("600, another user") << false << 0600 << false << 2 << u"-rw------- (600)|"_qs + askOwner;
    QTest::newRow("600, its owner") << false << 0600 << false << 1 << u"-rw------- (600)|開けます"_qs;
    QTest::newRow("066, its owner") << false << 066 << false << 1 << u"----rw-rw- (066)|"_qs + askOwner;
    QTest::newRow("606, another user") << false << 0606 << false << 2 << u"-rw----rw- (606)|開けます"_qs;
    QTest::newRow("000, the superuser") << false << 0 << false << 0 << u"---------- (000)|開けます"_qs;
    QTest::newRow("640 dialout, another user") << false << 0640 << true << 2 << u"-rw-r----- (640)|"_qs + askOwner;
    QTest::newRow("660 dialout, another user") << false << 0660 << true << 2 << u"-rw-rw---- (660)|"_qs + join;
    QTest::newRow("660 dialout, a member") << false << 0660 << true << 3 << u"-rw-rw---- (660)|開けます"_qs;
    QTest::newRow("terminal 660 dialout, another user") << true << 0660 << true << 2 << u"crw-rw---- (660)|"_qs + join;
  }
  void systemInfoOfDevices() {
    QFETCH(bool, terminal);
    QFETCH(int, mode);
    QFETCH(bool, dialoutGroup);
    QFETCH(int, asker);
    QFETCH(QString, shown);
    PseudoTerminal line;
    QTemporaryDir dir;
    const QString path = terminal ? line.path() : dir.filePath(u"ttyUSB0"_qs);
    QVERIFY(terminal || QFile(path).open(QIODevice::WriteOnly));
    const QByteArray file = QFile::encodeName(path);
    const group *dialout = ::getgrnam("dialout");
    if (dialoutGroup && (!dialout || ::chown(file.constData(), -1, dialout->gr_gid) != 0)) QSKIP("only root or a member may give a file to the group dialout");
    const bool root = ::geteuid() == 0;
    QVERIFY(::chmod(file.constData(), mode_t(mode)) == 0 && (!root || ::chown(file.constData(), 4242, -1) == 0));
    const unsigned owner = root ? 4242 : ::geteuid();
    const passwd *known = ::getpwuid(owner);  // 4242 has no name here, as a rule
    const QString ownerName = known ? QString::fromLocal8Bit(known->pw_name) : QString::number(owner);
    const QString groupName = dialoutGroup ? u"dialout"_qs : QString::fromLocal8Bit(::getgrgid(::getegid())->gr_name);
    const unsigned other = owner + 1;  // neither the owner nor in the file's group
    const UserIds askers[] = {{0, {0}}, {owner, {}}, {other, {other}}, {other, {other, dialout ? dialout->gr_gid : other}}};
    const QString report = systemReport({{}, {}, {}, u"op"_qs, false, {deviceFacts(path, {}, askers[asker])}});
    const auto lineOf = [&](const QString &head) { return report.section(u'\n' + head, 1).section(u'\n', 0, 0); };
    QCOMPARE(lineOf(u"  所有者: "_qs) + u'|' + lineOf(u"  このユーザーが: "_qs),
             QStringLiteral("%1  グループ: %2  モード: ").arg(ownerName, groupName) + QString(shown).replace(u"OWNER"_qs, ownerName));
  }
};

int main(int argc, char *argv[]) {
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  MainWindowTest test;
  return QTest::qExec(&test, argc, argv);
}
#include "tst_main_window.moc"
