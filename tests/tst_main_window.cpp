// The real main window offscreen, typed into as an operator would, its port on
// a pseudo-terminal read by the module-side decoder.

#include "encoder/message_builder.h"
#include "sim/module_face.h"
#include "tests/support/rig.h"
#include "ui/preview_window.h"
#include "ui/translations.h"

#include <QCheckBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSerialPort>
#include <QtTest>

using namespace vf;
using Kind = ModuleEvent::Kind;

namespace {

QByteArray joined(const std::vector<QByteArray> &writes) {
  QByteArray all;
  for (const QByteArray &w : writes) all += w;
  return all;
}

// The kinds of what reached the module, in order; update commands left out.
QString whatArrived(const rig::FarEnd &module) {
  static const char *const names[] = {"start", "count", "packet", "clear", "cue", "update", "message", "fault"};
  QStringList words;
  for (const ModuleEvent &e : module.events)
    if (e.kind != Kind::Update) words << names[int(e.kind)];
  return words.join(u' ');
}

struct Started : rig::WindowRig {
  explicit Started(const QString &windowState = {}) : rig::WindowRig(QByteArray("1\r\n"), windowState) {
    start();
    QApplication::setActiveWindow(window.get());
  }
  QTimer *timer1() { return find<QTimer>(u"Timer1"_qs); }
  // Runs convert-and-send and reads the message; the update commands that the
  // timer sends afterwards are stopped.
  void send(const QString &text) {
    find<TextField>(u"Text3"_qs)->setFieldText(QString());
    type(u"Text3"_qs, text);
    press(u"Command1"_qs);
    timer1()->stop();
    module.settle();
  }
};

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT
 private slots:
  void convertAndSend() {
    Started rig;
    QCOMPARE(rig.field(u"Label13"_qs), u"オープン CommPort=1 Settings=19200,N,8,1 RS-232C"_qs);
    rig.send(u"あ\nｶﾞ"_qs);
    QCOMPARE(rig.field(u"Text3"_qs), u"あ\r\nｶﾞ"_qs);  // Enter is CR LF
    QCOMPARE(rig.module.bytes, joined(buildMessage(u"あ\r\nｶﾞ"_qs, 1).writes));
    QCOMPARE(rig.module.messages(), QStringList{u"あ　　ガ"_qs + QString(14, QChar(0x3000))});
    QCOMPARE(rig.field(u"Text22"_qs), QString::fromLatin1(rig.module.bytes.mid(14).toHex().toUpper()));
    QCOMPARE(rig.field(u"Label14"_qs) + rig.field(u"Text21"_qs), u"変換完了！1"_qs);
    QVERIFY(rig.dialogs.messages.isEmpty());
  }

  // The box about an unusable character finds the run as it stands; when it
  // is closed, the character is selected in Text3.
  void unusableCharacter() {
    Started rig;
    rig.send(u"い"_qs);
    QStringList atBox;
    rig.dialogs.atMessage = [&](const QString &) {
      for (const char *name : {"Label14", "Text13", "Text21", "Label1"}) atBox << rig.field(QString::fromLatin1(name));
    };
    rig.module.clear();
    rig.send(u"漢\nab한字"_qs);
    QCOMPARE(rig.dialogs.messages, QStringList{u"使用不可能な文字が含まれています"_qs});
    QCOMPARE(atBox, (QStringList{u"変換中..."_qs, u"00 01 00 00 8B 41 02 81 04 81 04 81 0D 82 0D "_qs, u"1"_qs, QString()}));
    auto *text3 = rig.find<TextField>(u"Text3"_qs);
    QCOMPARE(text3->textCursor().selectedText(), u"한"_qs);
    QCOMPARE(QApplication::focusWidget(), text3);
    QCOMPARE(rig.field(u"Label1"_qs) + rig.field(u"Label14"_qs), u"文字コード ERROR変換完了！"_qs);
    QCOMPARE(rig.module.messages(), QStringList{u"漢　　ａｂ"_qs});  // the frame ends where the character stood
  }

  void commands_data() {
    QTest::addColumn<QStringList>("presses");
    QTest::addColumn<QString>("arrived");
    QTest::newRow("display clear, button and menu") << QStringList{"Command4", "RSClear"} << "clear clear";
    QTest::newRow("data cue, button and menu") << QStringList{"Command7", "ReBigin"} << "cue cue";
    QTest::newRow("convert and send, button and menu") << QStringList{"Command1", "ChangeSend"}
                                                       << "start count packet message start count packet message";
  }
  void commands() {
    QFETCH(QStringList, presses);
    QFETCH(QString, arrived);
    Started rig;
    rig.find<TextField>(u"Text3"_qs)->setFieldText(u"テスト"_qs);
    const auto labels = [&] { return rig.field(u"Text1"_qs) + rig.field(u"Label14"_qs) + rig.field(u"Label15"_qs) + rig.field(u"Label1"_qs); };
    const QString before = labels();
    for (const QString &name : presses) {
      rig.press(name);
      rig.timer1()->stop();
    }
    rig.module.settle();
    QCOMPARE(whatArrived(rig.module), arrived);
    if (!presses[0].startsWith(u"Command1")) QCOMPARE(labels(), before);  // the control commands leave the window alone
    // With the port closed, each says so and sends nothing.
    rig.find<QSerialPort>(u"MSComm1"_qs)->close();
    rig.press(presses[0]);
    QCOMPARE(rig.dialogs.messages.value(0), u"ポートが開いていません"_qs);
  }

  void speeds() {
    Started rig;
    rig.press(u"Mid"_qs);
    rig.send(u"A"_qs);
    rig.press(u"Lo"_qs);
    QTest::mouseClick(rig.find<QRadioButton>(u"Option2"_qs), Qt::LeftButton);
    rig.send(u"A"_qs);
    QVERIFY(rig.find<QAction>(u"Lo"_qs)->isChecked() && !rig.find<QAction>(u"HHi"_qs)->isChecked());
    QStringList speeds;
    for (const ModuleEvent &e : rig.module.events)
      if (e.kind == Kind::Message) speeds << QString::number(e.speed);
    QCOMPARE(speeds, (QStringList{u"3"_qs, u"1"_qs}));  // 中速, then the option button's 高速
  }

  void textCommands() {
    Started rig;
    rig.send(u"ABC"_qs);
    rig.find<TextField>(u"Text2"_qs)->setFieldText(u"ﾀ"_qs);
    rig.press(u"count"_qs);
    QCOMPARE(rig.field(u"Text19"_qs), u"17"_qs);
    rig.type(u"Text3"_qs, u"DEF"_qs);
    rig.press(u"Command6"_qs);
    QCOMPARE(rig.field(u"Text19"_qs), u"17"_qs);  // the count is that of Text1
    rig.press(u"New"_qs);  // every field but Text2
    for (QWidget *field : rig.window->findChildren<QWidget *>(QRegularExpression(u"^Text\\d+$"_qs)))
      QCOMPARE(rig.field(field->objectName()), field->objectName() == u"Text2" ? u"ﾀ"_qs : QString());
    QCOMPARE(rig.field(u"Label14"_qs), u"変換完了！"_qs);

    // Loading: the dialog's filter, the file as it was read, and a file that cannot be read.
    QFile file(rig.folder.filePath(u"text.txt"_qs));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(QByteArray::fromHex("CAB20D0A8ABF")) == 6);
    file.close();
    rig.dialogs.filesToChoose = {file.fileName(), rig.folder.filePath(u"gone.txt"_qs), QString()};
    rig.press(u"Load"_qs);
    QCOMPARE(rig.dialogs.fileFilters.value(0), u"テキストファイル (*.txt)|*.txt"_qs);
    QCOMPARE(rig.field(u"Text3"_qs), u"ﾊｲ\r\n漢\r\n"_qs);
    rig.press(u"Command8"_qs);
    QVERIFY(rig.dialogs.messages.value(0).startsWith(u"ファイルを読み込めませんでした。"_qs));
    rig.press(u"Command8"_qs);  // cancelled: nothing happens
    QCOMPARE(rig.field(u"Text3"_qs), u"ﾊｲ\r\n漢\r\n"_qs);
    QCOMPARE(rig.dialogs.messages.size(), 1);

    rig.press(u"End"_qs);
    QCOMPARE(rig.endRequests, 1);
    QVERIFY(!rig.find<QSerialPort>(u"MSComm1"_qs)->isOpen());
  }

  // Every way Timer1 is switched, counted in update commands at the module.
  void autoUpdate_data() {
    QTest::addColumn<QString>("steps");
    QTest::addColumn<bool>("updating");
    QTest::addColumn<QString>("label15");
    QTest::newRow("tick Check1 alone") << "tick" << false << "自動更新なし";
    QTest::newRow("tick, menu") << "tick Reload" << true << "自動更新";
    QTest::newRow("tick, menu, clear Check1") << "tick Reload tick" << false << "自動更新";
    QTest::newRow("menu with Check1 cleared") << "tick Reload tick Reload" << false << "自動更新なし";
    QTest::newRow("convert and send") << "send" << true << "自動更新なし";
    QTest::newRow("convert and send, a reply") << "send reply" << false << "自動更新なし";
    QTest::newRow("convert and send, a modem line") << "send lines" << false << "自動更新なし";
    QTest::newRow("ticked: through replies") << "tick send reply" << true << "自動更新";
    QTest::newRow("empty text stops it") << "tick Reload clear send" << false << "自動更新";
  }
  void autoUpdate() {
    QFETCH(QString, steps);
    QFETCH(bool, updating);
    QFETCH(QString, label15);
    Started rig;
    rig.find<TextField>(u"Text3"_qs)->setFieldText(u"A"_qs);
    for (const QString &step : steps.split(u' ')) {
      if (step == u"tick") QTest::mouseClick(rig.find<QCheckBox>(u"Check1"_qs), Qt::LeftButton);
      if (step == u"send") rig.press(u"Command1"_qs);
      if (step == u"clear") rig.find<TextField>(u"Text3"_qs)->setFieldText(QString());
      if (step == u"reply") QVERIFY(rig.module.line.write("\x11"));
      if (step == u"lines") {  // the smallest seam: a pseudo-terminal has no modem lines
        auto *link = rig.window->findChild<ModuleLink *>();
        link->noteModemLines(QSerialPort::DataSetReadySignal);
        link->noteModemLines(QSerialPort::NoSignal);
      }
      if (step == u"Reload") rig.press(u"Reload"_qs);
      rig.module.readFor(100);
    }
    rig.module.clear();
    rig.module.readFor(200);
    QCOMPARE(rig.module.count(Kind::Update) > 0, updating);
    QVERIFY(updating || rig.module.bytes.isEmpty());
    QCOMPARE(rig.field(u"Label15"_qs), label15);
  }

  // Unusable characters are marked as they are typed, the preview follows the
  // typing and the speed, and the window remembers where the preview was.
  void marksAndPreview() {
    QTemporaryDir state;
    QPoint placed;
    const QString stateFile = state.filePath(u"window.ini"_qs);
    {
      Started rig(stateFile);
      rig.type(u"Text3"_qs, u"A한\nｶﾞ😀"_qs);
      auto *text3 = rig.find<TextField>(u"Text3"_qs);
      QCOMPARE(text3->fieldText(), u"A한\r\nｶﾞ😀"_qs);
      QCOMPARE(text3->extraSelections().size(), 2);
      QCOMPARE(text3->extraSelections()[1].cursor.selectedText(), u"😀"_qs);
      QCOMPARE(text3->extraSelections()[0].format.underlineStyle(), QTextCharFormat::WaveUnderline);
      QVERIFY(text3->marks()[1].explanation.contains(u"U+1F600"_qs));
      QCOMPARE(text3->textCursor().position(), 7);  // marking moves no cursor
      const int undoSteps = text3->document()->availableUndoSteps();
      text3->setMarks(text3->marks());
      QCOMPARE(text3->document()->availableUndoSteps(), undoSteps);  // nor the undo history

      rig.press(u"Preview"_qs);
      auto *preview = rig.window->findChild<PreviewWindow *>();
      QVERIFY(preview && preview->isVisible());
      QCOMPARE(preview->faceText(), u"Ａ"_qs + kMarkedCell);
      QTest::mouseClick(rig.find<QRadioButton>(u"Option3"_qs), Qt::LeftButton);
      rig.type(u"Text3"_qs, u"x"_qs);
      QTRY_COMPARE(preview->face().speedByte(), 2);
      text3->setFieldText(u"é\r\n"_qs);  // as a file is loaded
      QCOMPARE(text3->extraSelections().size(), 1);
      QTRY_COMPARE(preview->faceText(), QString(kMarkedCell));
      placed = preview->pos() + QPoint(40, 30);
      preview->move(placed);
      QTest::qWait(600);
    }
    Started again(stateFile);
    auto *preview = again.window->findChild<PreviewWindow *>();
    QVERIFY(preview && preview->isVisible());
    QCOMPARE(preview->pos(), placed);
    preview->close();
    QVERIFY(!again.find<QAction>(u"Preview"_qs)->isChecked());
  }

  // Qt's own texts in Japanese, as every caption of the program is.
  void japaneseQtTexts() {
    QCOMPARE(installJapaneseTranslations(*qApp), 2);
    QCOMPARE(QCoreApplication::translate("QFileDialog", "Look in:"), u"アドレス:"_qs);
    QSerialPort port(u"/nonexistent/ttyS0"_qs);
    QVERIFY(!port.open(QIODevice::ReadWrite));
    QVERIFY2(!port.errorString().contains(u"No such"_qs), qPrintable(port.errorString()));
  }

  void aboutWindow() {
    Started rig;
    rig.press(u"VerInf"_qs);
    rig.press(u"VerInf"_qs);
    const auto windows = rig.window->findChildren<QDialog *>();
    QCOMPARE(windows.size(), 1);  // one at a time, and not modal
    QVERIFY(windows[0]->isVisible() && !windows[0]->isModal());
    QTest::mouseClick(windows[0]->findChild<QPushButton *>(u"cmdSysInfo"_qs), Qt::LeftButton);
    QCOMPARE(rig.dialogs.messages, QStringList{u"現時点ではｼｽﾃﾑ情報を使用できません"_qs});
    QTest::keyClick(windows[0], Qt::Key_Escape);
    QTRY_VERIFY(rig.window->findChildren<QDialog *>().isEmpty());
  }
};

QTEST_MAIN(MainWindowTest)
#include "tst_main_window.moc"
