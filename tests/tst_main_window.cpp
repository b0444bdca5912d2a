// The real main window, driven offscreen: convert-and-send with MSComm1 on a
// pseudo-terminal, the control commands, the speed selectors and the text
// commands, through buttons and menu items.

#include "tests/window_harness.h"
#include "ui/operator_dialogs.h"

#include <QFile>
#include <QGroupBox>
#include <QMenu>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace harness;

namespace {

const QString kBlank = QString(QChar(0x3000));
const QString kNotOpen = QStringLiteral("ポートが開いていません");

// The packet of あ with Option1, and the whole message around it.
QByteArray examplePacket() {
  return bytesOf("00 01 00 00 8B 02 06") + bytesOf("81 04").repeated(14) + QByteArray(224, '\xFF') +
         bytesOf("E6 FA EF");
}
QByteArray exampleMessage() {
  return bytesOf("00 00 25 00 00 25 EF") + bytesOf("00 00 04 01 00 05 EF") + examplePacket();
}
bool writeFile(const QString &path, const QByteArray &bytes) {
  QFile f(path);
  return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}
QString hexUpper(const QByteArray &b) { return QString::fromLatin1(b.toHex().toUpper()); }

QStringList allFieldNames() {
  QStringList names = {"Text1", "Text2", "Text3", "Text4", "Text6", "Text13", "Text14",
                       "Text15", "Text19", "Text20", "Text21"};
  for (int k = 22; k <= 37; ++k) names << QStringLiteral("Text%1").arg(k);
  return names;
}

QString fieldText(Form1 &window, const QString &name) {
  QObject *field = window.findChild<QObject *>(name);
  if (auto *text = qobject_cast<vf::TextField *>(field)) return text->fieldText();
  if (auto *line = qobject_cast<QLineEdit *>(field)) return line->text();
  return QStringLiteral("<no field %1>").arg(name);
}

void setField(Form1 &window, const QString &name, const QString &value) {
  QObject *field = window.findChild<QObject *>(name);
  if (auto *text = qobject_cast<vf::TextField *>(field)) text->setFieldText(value);
  if (auto *line = qobject_cast<QLineEdit *>(field)) line->setText(value);
}

// Clicks the button or triggers the menu item of that name.
void press(Form1 &window, const QString &name) {
  if (auto *b = window.findChild<QPushButton *>(name))
    b->click();
  else
    window.findChild<QAction *>(name)->trigger();
}

QString captionOf(QObject *object) {
  if (auto *l = qobject_cast<QLabel *>(object)) return l->text();
  if (auto *b = qobject_cast<QAbstractButton *>(object)) return b->text();
  if (auto *g = qobject_cast<QGroupBox *>(object)) return g->title();
  if (auto *m = qobject_cast<QMenu *>(object)) return m->title();
  if (auto *a = qobject_cast<QAction *>(object)) return a->text();
  return QStringLiteral("<no caption>");
}

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

  std::unique_ptr<vf::RecordingDialogs> dialogs_;
  std::unique_ptr<Form1> window_;
  std::unique_ptr<PseudoTerminal> pty_;
  int endCalls_ = 0;

  Form1 &w() { return *window_; }
  QStringList &messages() { return dialogs_->messages; }

  bool openPortOnPty() {
    pty_ = std::make_unique<PseudoTerminal>();
    return pty_->isValid() && openPort(w(), *pty_);
  }

  // Presses name and returns the size bytes that reach the far end; the
  // update commands that the timer sends afterwards are read off and checked.
  QByteArray sendBy(const QString &name, int size) {
    press(w(), name);
    const QByteArray message = readAtFarEnd(*pty_, size);
    timer1(w())->stop();
    const QByteArray after = readUntilQuiet(*pty_);
    if (updateCommandsIn(after) < 0) return "unexpected bytes after the message: " + after.toHex(' ');
    return message;
  }
  QByteArray convertAndSend(const QString &text, int size) {
    textField(w(), "Text3")->setFieldText(text);
    return sendBy("Command1", size);
  }

 private slots:
  void init() {
    dialogs_ = std::make_unique<vf::RecordingDialogs>();
    window_ = std::make_unique<Form1>();
    endCalls_ = 0;
    window_->setEndProgram([this] { ++endCalls_; });
    window_->show();
  }
  void cleanup() {
    window_.reset();
    pty_.reset();
    dialogs_.reset();
  }

  void initialState() {
    QCOMPARE(w().windowTitle(), QStringLiteral("VF3360 シリアル送信プログラム"));
    QCOMPARE(w().centralWidget()->size(), QSize(684, 613));
    QVERIFY(!w().windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    for (const QString &name : allFieldNames()) QCOMPARE(fieldText(w(), name), QString());
    QCOMPARE(label(w(), "Label13")->text(), QStringLiteral("ポートクローズ"));
    QCOMPARE(label(w(), "Label14")->text(), QStringLiteral("未変換"));
    QCOMPARE(label(w(), "Label15")->text(), QStringLiteral("自動更新なし"));
    QVERIFY(control<QRadioButton>(w(), "Option1")->isChecked());
    QVERIFY(action(w(), "HHi")->isChecked());
    QCOMPARE(timer1(w())->interval(), 20);
    QVERIFY(!timer1(w())->isActive());
    QVERIFY(!w().port().isOpen());
  }

  void captions_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    const char *const table[][2] = {
        {"Label11", "表示するテキスト（最大文字数2047文字） 半角は全角に自動変換"}, {"Frame1", "情報"},
        {"Check1", "自動更新"}, {"Command1", "変換 + 送信"}, {"Command2", "全テキストクリア"},
        {"Command3", "終了"}, {"Command4", "VF3360表示クリア"}, {"Command5", "ポート変更"},
        {"Command6", "→ 合計文字数計算"}, {"Command7", "VF3360データ頭だし"}, {"Command8", ".txtファイル読み込み"},
        {"Option1", "超高速(デフォルト）"}, {"Option2", "高速"}, {"Option3", "中高速"}, {"Option4", "中速"},
        {"Option5", "低速"}, {"File", "ファイル"}, {"New", "新規作成"}, {"Load", ".txtファイル読み込み"},
        {"End", "終了"}, {"Creat", "編集"}, {"Clear", "全テキストクリア"}, {"count", "合計文字数計算"},
        {"Move", "制御"}, {"ChangeSend", "変換 + 送信"}, {"Reload", "自動更新"}, {"SSpeed", "スクロール速度"},
        {"HHi", "超高速"}, {"Hi", "高速"}, {"HMid", "中高速"}, {"Mid", "中速"}, {"Lo", "低速"},
        {"ReBigin", "VF3360データ頭だし"}, {"RSClear", "VF3360表示クリア"}, {"VerInf", "バージョン情報"},
        {"Label12", "1フレーム"}, {"Label32", "16フレーム"}};
    for (const auto &row : table) QTest::newRow(row[0]) << QString::fromUtf8(row[0]) << QString::fromUtf8(row[1]);
  }
  void captions() {
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QObject *object = w().findChild<QObject *>(name);
    QVERIFY2(object, qPrintable(name));
    QCOMPARE(captionOf(object), caption);
  }

  // ------------------------------------------------------- convert and send

  void workedExample() {
    QVERIFY(openPortOnPty());
    QCOMPARE(convertAndSend(QStringLiteral("あ"), 276), exampleMessage());
    QCOMPARE(fieldText(w(), "Text1"), "あ" + kBlank.repeated(14));
    QCOMPARE(fieldText(w(), "Text19"), QStringLiteral("15"));
    QCOMPARE(fieldText(w(), "Text21"), QStringLiteral("1"));
    QCOMPARE(fieldText(w(), "Text13"), QString::fromLatin1(examplePacket().toHex(' ').toUpper()));
    QCOMPARE(fieldText(w(), "Text14"), QStringLiteral("E6FA"));
    QCOMPARE(fieldText(w(), "Text15"), hexUpper(examplePacket()));
    QCOMPARE(fieldText(w(), "Text22"), hexUpper(examplePacket()));
    QCOMPARE(fieldText(w(), "Text4"), QStringLiteral("2422") + QStringLiteral("2121").repeated(14));
    QCOMPARE(fieldText(w(), "Text6").size(), 15 * 16);
    QCOMPARE(fieldText(w(), "Text23"), QString());
    QCOMPARE(label(w(), "Label14")->text(), QStringLiteral("変換完了！"));
    QCOMPARE(messages(), QStringList());
  }

  // The longest text fills all sixteen frame fields with what was sent; a
  // shorter run after it leaves the higher frame fields as they were.
  void longestTextThenAShorterRun() {
    QVERIFY(openPortOnPty());
    const QByteArray message = convertAndSend(QStringLiteral("い").repeated(2033), 4206);
    QCOMPARE(message.mid(7, 7), bytesOf("00 00 04 10 00 14 EF"));
    QStringList frames;
    for (int k = 1; k <= 16; ++k) {
      frames << fieldText(w(), QStringLiteral("Text%1").arg(21 + k));
      QCOMPARE(hexUpper(message.mid(14 + 262 * (k - 1), 262)), frames.last());
    }
    QCOMPARE(fieldText(w(), "Text19"), QStringLiteral("2047"));
    QCOMPARE(convertAndSend(QStringLiteral("あ"), 276), exampleMessage());
    QCOMPARE(fieldText(w(), "Text21"), QStringLiteral("1"));
    QCOMPARE(fieldText(w(), "Text22"), hexUpper(examplePacket()));
    for (int k = 2; k <= 16; ++k) QCOMPARE(fieldText(w(), QStringLiteral("Text%1").arg(21 + k)), frames[k - 1]);
  }

  // Input that is not sent: a message, nothing converted, Timer1 stopped
  // (for empty input through Check1, which it clears).
  void refusedInput_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("count");
    QTest::newRow("empty") << "" << "文字を入力してください" << "14";
    QTest::newRow("over the limit") << QStringLiteral("a").repeated(2034) << "文字数オーバー" << "2048";
  }
  void refusedInput() {
    QFETCH(QString, text);
    QFETCH(QString, message);
    QFETCH(QString, count);
    QVERIFY(openPortOnPty());
    check1(w())->setChecked(text.isEmpty());
    action(w(), "Reload")->trigger();
    textField(w(), "Text3")->setFieldText(text);
    press(w(), "Command1");
    QCOMPARE(messages(), QStringList{message});
    QCOMPARE(fieldText(w(), "Text19"), count);
    QCOMPARE(fieldText(w(), "Text22"), QString());
    QCOMPARE(label(w(), "Label14")->text(), QStringLiteral("未変換"));
    QVERIFY(!check1(w())->isChecked());
    QVERIFY(!timer1(w())->isActive());
    QVERIFY(updateCommandsIn(readUntilQuiet(*pty_)) >= 0);  // no message, only earlier update commands
  }

  void unusableCharacterIsSentAndFlagged() {
    QVERIFY(openPortOnPty());
    const QByteArray message = convertAndSend(QStringLiteral("漢한字"), 276);
    QCOMPARE(messages(), QStringList{QStringLiteral("使用不可能な文字が含まれています")});
    QCOMPARE(label(w(), "Label1")->text(), QStringLiteral("文字コード ERROR"));
    QCOMPARE(message.mid(14, 7), bytesOf("00 01 00 00 8B 41 02"));
    convertAndSend(QStringLiteral("あ"), 276);  // a later good run keeps the caption
    QCOMPARE(label(w(), "Label1")->text(), QStringLiteral("文字コード ERROR"));
  }

  void closedPortIsReportedOnce() {
    textField(w(), "Text3")->setFieldText(QStringLiteral("あ"));
    for (const char *name : {"Command1", "ChangeSend", "Command4", "RSClear", "Command7", "ReBigin"}) press(w(), name);
    QCOMPARE(messages(), QStringList(6, kNotOpen));
    QCOMPARE(fieldText(w(), "Text22"), hexUpper(examplePacket()));  // converted all the same

    messages().clear();
    textField(w(), "Text3")->setFieldText(QStringLiteral("漢한字"));
    press(w(), "Command1");
    QCOMPARE(messages(), (QStringList{QStringLiteral("使用不可能な文字が含まれています"), kNotOpen}));
    messages().clear();
    textField(w(), "Text3")->setFieldText(QString());
    press(w(), "Command1");
    QCOMPARE(messages(), QStringList{QStringLiteral("文字を入力してください")});
  }

  // ----------------------------------------- buttons, menus and commands

  void buttonsAndMenuItemsWriteTheSameBytes_data() {
    QTest::addColumn<QString>("buttonName");
    QTest::addColumn<QString>("actionName");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("display clear") << "Command4" << "RSClear" << bytesOf("00 00 14 00 00 14 EF");
    QTest::newRow("data cue") << "Command7" << "ReBigin" << bytesOf("00 00 18 00 00 18 EF");
    QTest::newRow("convert and send") << "Command1" << "ChangeSend" << exampleMessage();
  }
  void buttonsAndMenuItemsWriteTheSameBytes() {
    QFETCH(QString, buttonName);
    QFETCH(QString, actionName);
    QFETCH(QByteArray, bytes);
    QVERIFY(openPortOnPty());
    textField(w(), "Text3")->setFieldText(QStringLiteral("あ"));
    QCOMPARE(sendBy(buttonName, bytes.size()), bytes);
    QCOMPARE(sendBy(actionName, bytes.size()), bytes);
    QCOMPARE(messages(), QStringList());
  }

  void controlCommandsLeaveTheWindowAlone() {
    QVERIFY(openPortOnPty());
    check1(w())->setChecked(true);
    textField(w(), "Text3")->setFieldText(QStringLiteral("そのまま"));
    press(w(), "Command4");
    press(w(), "Command7");
    QCOMPARE(readUntilQuiet(*pty_), bytesOf("00 00 14 00 00 14 EF 00 00 18 00 00 18 EF"));
    for (const QString &name : allFieldNames())
      QCOMPARE(fieldText(w(), name), name == "Text3" ? QStringLiteral("そのまま") : QString());
    QCOMPARE(label(w(), "Label14")->text(), QStringLiteral("未変換"));
    QVERIFY(!timer1(w())->isActive());
  }

  // ------------------------------------------------------ scroll speed

  void speedMenu_data() {
    QTest::addColumn<QString>("item");
    QTest::addColumn<int>("option");
    QTest::addColumn<char>("speedByte");
    QTest::newRow("超高速") << "HHi" << 1 << '\x00';
    QTest::newRow("高速") << "Hi" << 2 << '\x01';
    QTest::newRow("中高速") << "HMid" << 3 << '\x02';
    QTest::newRow("中速") << "Mid" << 4 << '\x03';
    QTest::newRow("低速") << "Lo" << 5 << '\x03';
  }
  void speedMenu() {
    QFETCH(QString, item);
    QFETCH(int, option);
    QFETCH(char, speedByte);
    QVERIFY(openPortOnPty());
    action(w(), option == 3 ? "Mid" : "HMid")->trigger();  // start from another choice
    press(w(), item);
    const QStringList marks = {"HHi", "Hi", "HMid", "Mid", "Lo"};
    for (int k = 1; k <= 5; ++k) {
      QCOMPARE(action(w(), qPrintable(marks[k - 1]))->isChecked(), k == option);
      QCOMPARE(control<QRadioButton>(w(), qPrintable(QStringLiteral("Option%1").arg(k)))->isChecked(), k == option);
    }
    QCOMPARE(readUntilQuiet(*pty_, 50), QByteArray());  // choosing sends nothing
    QCOMPARE(convertAndSend(QStringLiteral("あ"), 276).mid(17, 2), QByteArray(1, speedByte) + '\x8B');
  }

  void optionButtonsDecideWhenTheSelectorsDisagree() {
    QVERIFY(openPortOnPty());
    action(w(), "Lo")->trigger();
    control<QRadioButton>(w(), "Option2")->click();
    QVERIFY(action(w(), "Lo")->isChecked());
    QCOMPARE(convertAndSend(QStringLiteral("あ"), 276).mid(17, 2), bytesOf("01 8B"));
    action(w(), "Lo")->trigger();  // the item already marked stays marked
    QVERIFY(action(w(), "Lo")->isChecked());
    QVERIFY(control<QRadioButton>(w(), "Option5")->isChecked());
  }

  // ------------------------------------------------------ text commands

  void clearAll_data() {
    QTest::addColumn<QString>("trigger");
    QTest::newRow("button") << "Command2";
    QTest::newRow("新規作成") << "New";
    QTest::newRow("全テキストクリア") << "Clear";
  }
  void clearAll() {
    QFETCH(QString, trigger);
    for (const QString &name : allFieldNames()) setField(w(), name, "filled " + name);
    label(w(), "Label1")->setText(QStringLiteral("文字コード ERROR"));
    label(w(), "Label14")->setText(QStringLiteral("変換完了！"));
    press(w(), trigger);
    for (const QString &name : allFieldNames())
      QCOMPARE(fieldText(w(), name), name == "Text2" ? QStringLiteral("filled Text2") : QString());
    QCOMPARE(label(w(), "Label1")->text(), QStringLiteral("文字コード ERROR"));
    QCOMPARE(label(w(), "Label14")->text(), QStringLiteral("変換完了！"));
    QCOMPARE(messages(), QStringList());
  }

  void count() {
    textField(w(), "Text3")->setFieldText(QStringLiteral("ABC"));
    press(w(), "Command6");
    QCOMPARE(fieldText(w(), "Text19"), QStringLiteral("0"));  // counts Text1, not the input
    textField(w(), "Text1")->setFieldText(QStringLiteral("a\r\nb\nc"));
    press(w(), "count");
    QCOMPARE(fieldText(w(), "Text19"), QStringLiteral("6"));
  }

  void loadFile_data() {
    QTest::addColumn<QByteArray>("bytes");  // null: the file cannot be read
    QTest::addColumn<QString>("text");
    QTest::newRow("CR LF") << QByteArray("one\r\ntwo\r\n") << "one\r\ntwo\r\n";
    QTest::newRow("no final line end") << QByteArray("one\r\ntwo") << "one\r\ntwo\r\n";
    QTest::newRow("lone CR") << QByteArray("one\rtwo") << "one\r\ntwo\r\n";
    QTest::newRow("lone LF") << QByteArray("one\ntwo\r\nthree") << "one\ntwo\r\nthree\r\n";
    QTest::newRow("empty") << QByteArray("") << "";
    QTest::newRow("UTF-8") << QByteArray("漢字\r\nかな") << "漢字\r\nかな\r\n";
    QTest::newRow("code page 932") << QByteArray("\x8A\xBF\x8E\x9A\r\n\x82\xA0\xB1") << "漢字\r\nあｱ\r\n";
    QTest::newRow("unreadable") << QByteArray() << "keep\r\n";
  }
  void loadFile() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("入力.txt"));
    if (bytes.isNull())
      QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("入力.txt")));  // a folder cannot be read as a file
    else
      QVERIFY(writeFile(path, bytes));
    for (const char *how : {"Command8", "Load"}) {
      textField(w(), "Text3")->setFieldText(QStringLiteral("keep\r\n"));
      dialogs_->filesToChoose = {path};
      press(w(), how);
      QCOMPARE(fieldText(w(), "Text3"), text);
    }
    QCOMPARE(dialogs_->fileFilters.value(0), QStringLiteral("テキストファイル (*.txt)|*.txt"));
    if (bytes.isNull()) {
      QCOMPARE(messages().size(), 2);
      QVERIFY2(messages().first().contains(QDir::toNativeSeparators(path)), qPrintable(messages().first()));
    } else {
      QCOMPARE(messages(), QStringList());
    }
    press(w(), "Command8");  // nothing chosen: nothing happens
    QCOMPARE(fieldText(w(), "Text3"), text);
  }

  void end() {
    QVERIFY(openPortOnPty());
    press(w(), "Command3");
    QCOMPARE(endCalls_, 1);
    QVERIFY(!w().port().isOpen());
    press(w(), "End");
    QCOMPARE(endCalls_, 2);
  }
};

QTEST_MAIN(MainWindowTest)
#include "tst_main_window.moc"
