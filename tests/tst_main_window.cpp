// The real main window, driven offscreen: its controls, convert-and-send with
// MSComm1 on a pseudo-terminal, the control commands, the speed selectors and
// the text commands, each through its button and through its menu item.

#include "tests/window_harness.h"
#include "ui/operator_dialogs.h"

#include <QFile>
#include <QGroupBox>
#include <QMenu>
#include <QMenuBar>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace harness;

namespace {

const QString kBlank = QString(QChar(0x3000));

// The packet of the worked example: あ with Option1.
QByteArray examplePacket() {
  return bytesOf("00 01 00 00 8B 02 06") + bytesOf("81 04").repeated(14) + QByteArray(224, '\xFF') +
         bytesOf("E6 FA EF");
}

QByteArray exampleMessage() {
  return bytesOf("00 00 25 00 00 25 EF") + bytesOf("00 00 04 01 00 05 EF") + examplePacket();
}

QRect twips(int left, int top, int width, int height) { return {left / 15, top / 15, width / 15, height / 15}; }

QString captionOf(QObject *object) {
  if (auto *label = qobject_cast<QLabel *>(object)) return label->text();
  if (auto *button = qobject_cast<QAbstractButton *>(object)) return button->text();
  if (auto *group = qobject_cast<QGroupBox *>(object)) return group->title();
  if (auto *menu = qobject_cast<QMenu *>(object)) return menu->title();
  if (auto *action = qobject_cast<QAction *>(object)) return action->text();
  return QStringLiteral("<no caption: %1>").arg(object->metaObject()->className());
}

// Every field of the window, by name.
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

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

  std::unique_ptr<vf::RecordingDialogs> dialogs_;
  std::unique_ptr<Form1> window_;
  std::unique_ptr<PseudoTerminal> pty_;
  int endCalls_ = 0;

  Form1 &w() { return *window_; }

  bool openPortOnPty() {
    pty_ = std::make_unique<PseudoTerminal>();
    return pty_->isValid() && openPort(w(), *pty_);
  }

  // Convert-and-send of text, and the message that reaches the far end (the
  // update commands that the timer sends afterwards are read off and checked).
  QByteArray convertAndSend(const QString &text, int messageSize) {
    textField(w(), "Text3")->setFieldText(text);
    button(w(), "Command1")->click();
    const QByteArray message = readAtFarEnd(*pty_, messageSize);
    timer1(w())->stop();
    const QByteArray after = readUntilQuiet(*pty_);
    if (updateCommandsIn(after) < 0) return "unexpected bytes after the message: " + after.toHex(' ');
    return message;
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

  // ---------------------------------------------------------------- layout

  void windowFrameAndInitialState() {
    QCOMPARE(w().windowTitle(), QStringLiteral("VF3360 シリアル送信プログラム"));
    QCOMPARE(w().centralWidget()->size(), QSize(684, 613));
    QCOMPARE(w().minimumSize(), w().maximumSize());
    QVERIFY(!w().windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    QVERIFY(w().windowFlags().testFlag(Qt::WindowMinimizeButtonHint));

    for (const QString &name : allFieldNames()) QCOMPARE(fieldText(w(), name), QString());
    QCOMPARE(label(w(), "Label13")->text(), QStringLiteral("ポートクローズ"));
    QCOMPARE(label(w(), "Label14")->text(), QStringLiteral("未変換"));
    QCOMPARE(label(w(), "Label15")->text(), QStringLiteral("自動更新なし"));
    QCOMPARE(label(w(), "Label1")->text(), QString());
    QVERIFY(!check1(w())->isChecked());
    for (int k = 1; k <= 5; ++k)
      QCOMPARE(control<QRadioButton>(w(), qPrintable(QStringLiteral("Option%1").arg(k)))->isChecked(), k == 1);
    const char *marks[] = {"HHi", "Hi", "HMid", "Mid", "Lo"};
    for (int k = 0; k < 5; ++k) {
      QVERIFY(action(w(), marks[k])->isCheckable());
      QCOMPARE(action(w(), marks[k])->isChecked(), k == 0);
    }

    QTimer *timer = timer1(w());
    QVERIFY(!timer->isActive());
    QCOMPARE(timer->interval(), 20);
    QCOMPARE(timer->timerType(), Qt::PreciseTimer);
    QVERIFY(!control<QSerialPort>(w(), "MSComm1")->isOpen());

    // The input field comes first in the tab order.
    QWidget *first = w().centralWidget()->nextInFocusChain();
    while (first && !(first->focusPolicy() & Qt::TabFocus)) first = first->nextInFocusChain();
    QCOMPARE(first, static_cast<QWidget *>(textField(w(), "Text3")));

    // The three headings.
    for (const char *name : {"Label11", "Label3", "Label4"}) {
      const QFont font = label(w(), name)->font();
      QCOMPARE(font.pointSizeF(), 14.25);
      QCOMPARE(font.families().value(0), QStringLiteral("ＭＳ Ｐゴシック"));
      QVERIFY(font.families().contains(QStringLiteral("IPAPGothic")));
    }
  }

  void fieldKinds() {
    // Multi-line fields hold exact strings; the four small counters are single lines.
    for (const QString &name : allFieldNames()) {
      const bool singleLine = QStringList{"Text14", "Text19", "Text20", "Text21"}.contains(name);
      QObject *field = w().findChild<QObject *>(name);
      QVERIFY2(field, qPrintable(name));
      QCOMPARE(qobject_cast<QLineEdit *>(field) != nullptr, singleLine);
      QCOMPARE(qobject_cast<vf::TextField *>(field) != nullptr, !singleLine);
    }
    QCOMPARE(textField(w(), "Text3")->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QCOMPARE(textField(w(), "Text1")->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    for (const char *name : {"Text4", "Text6", "Text13", "Text15", "Text22", "Text37"}) {
      QCOMPARE(textField(w(), name)->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
      QCOMPARE(textField(w(), name)->lineWrapMode(), QPlainTextEdit::NoWrap);
    }
  }

  void positions_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");
    QTest::newRow("Text3") << "Text3" << twips(120, 480, 8175, 1695);
    QTest::newRow("Text1") << "Text1" << twips(3720, 2280, 1095, 270);
    QTest::newRow("Text6") << "Text6" << twips(4320, 2640, 3855, 615);
    QTest::newRow("Text13") << "Text13" << twips(3000, 3360, 5175, 615);
    QTest::newRow("Text15") << "Text15" << twips(120, 4080, 8055, 615);
    QTest::newRow("Label11") << "Label11" << twips(120, 120, 8175, 375);
    QTest::newRow("Label4") << "Label4" << twips(5520, 2280, 1455, 375);
    QTest::newRow("Frame1") << "Frame1" << twips(120, 4800, 9975, 615);
    QTest::newRow("Label13 in Frame1") << "Label13" << twips(120, 240, 4815, 255);
    QTest::newRow("Label1 in Frame1") << "Label1" << twips(7800, 240, 2055, 255);
    QTest::newRow("Check1") << "Check1" << twips(8400, 120, 1095, 255);
    QTest::newRow("Command1") << "Command1" << twips(8400, 480, 1815, 1335);
    QTest::newRow("Command3") << "Command3" << twips(8400, 4320, 1815, 375);
    QTest::newRow("Command5") << "Command5" << twips(8760, 8640, 1335, 495);
    const int optionLefts[] = {3720, 5520, 6240, 7200, 7920};
    const int optionWidths[] = {1815, 855, 975, 735, 735};
    for (int i = 0; i < 5; ++i) {
      const QString name = QStringLiteral("Option%1").arg(i + 1);
      QTest::newRow(qPrintable(name)) << name << twips(optionLefts[i], 8760, optionWidths[i], 375);
    }
    // The frame grid: three per row, frame 16 alone at the left.
    const int labelLefts[] = {120, 3480, 6840};
    const int fieldLefts[] = {960, 4320, 7680};
    const int fieldWidths[] = {2415, 2415, 2295};
    for (int k = 1; k <= 16; ++k) {
      const int row = (k - 1) / 3;
      const int column = (k - 1) % 3;
      const int top = 5520 + 600 * row;
      const QString field = QStringLiteral("Text%1").arg(21 + k);
      const QString caption = k == 1 ? QStringLiteral("Label12") : QStringLiteral("Label%1").arg(16 + k);
      QTest::newRow(qPrintable(field)) << field << twips(fieldLefts[column], top, fieldWidths[column], 615);
      QTest::newRow(qPrintable(caption)) << caption << twips(labelLefts[column], top + 120, 855, 255);
    }
  }
  void positions() {
    QFETCH(QString, name);
    QFETCH(QRect, geometry);
    QWidget *widget = w().findChild<QWidget *>(name);
    QVERIFY2(widget, qPrintable(name));
    QCOMPARE(widget->geometry(), geometry);
    const bool inFrame = QStringList{"Label13", "Label14", "Label15", "Label1"}.contains(name);
    QCOMPARE(widget->parentWidget()->objectName(), inFrame ? QStringLiteral("Frame1") : QStringLiteral("centralwidget"));
  }

  void captions_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    const char *const table[][2] = {
        {"Label11", "表示するテキスト（最大文字数2047文字） 半角は全角に自動変換"},
        {"Label3", "JIS(16進数)"},
        {"Label4", "JIS(2進数)"},
        {"Label16", "テキスト文字数"},
        {"Label17", "フレーム数"},
        {"Frame1", "情報"},
        {"Check1", "自動更新"},
        {"Command1", "変換 + 送信"},
        {"Command6", "→ 合計文字数計算"},
        {"Command8", ".txtファイル読み込み"},
        {"Command2", "全テキストクリア"},
        {"Command7", "VF3360データ頭だし"},
        {"Command4", "VF3360表示クリア"},
        {"Command3", "終了"},
        {"Command5", "ポート変更"},
        {"Option1", "超高速(デフォルト）"},
        {"Option2", "高速"},
        {"Option3", "中高速"},
        {"Option4", "中速"},
        {"Option5", "低速"},
        {"File", "ファイル"},
        {"New", "新規作成"},
        {"Load", ".txtファイル読み込み"},
        {"End", "終了"},
        {"Creat", "編集"},
        {"Clear", "全テキストクリア"},
        {"count", "合計文字数計算"},
        {"Move", "制御"},
        {"ChangeSend", "変換 + 送信"},
        {"Reload", "自動更新"},
        {"SSpeed", "スクロール速度"},
        {"HHi", "超高速"},
        {"Hi", "高速"},
        {"HMid", "中高速"},
        {"Mid", "中速"},
        {"Lo", "低速"},
        {"ReBigin", "VF3360データ頭だし"},
        {"RSClear", "VF3360表示クリア"},
        {"Inf", "情報"},
        {"VerInf", "バージョン情報"},
    };
    for (const auto &row : table) QTest::newRow(row[0]) << QString::fromUtf8(row[0]) << QString::fromUtf8(row[1]);
    QTest::newRow("Label12") << "Label12" << "1フレーム";
    for (int k = 2; k <= 16; ++k) {
      const QString name = QStringLiteral("Label%1").arg(16 + k);
      QTest::newRow(qPrintable(name)) << name << QStringLiteral("%1フレーム").arg(k);
    }
  }
  void captions() {
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QObject *object = w().findChild<QObject *>(name);
    QVERIFY2(object, qPrintable(name));
    QCOMPARE(captionOf(object), caption);
  }

  void menus() {
    auto names = [](const QList<QAction *> &actions) {
      QStringList out;
      for (QAction *a : actions) out << (a->menu() ? a->menu()->objectName() : a->objectName());
      return out;
    };
    QCOMPARE(names(w().menuBar()->actions()), (QStringList{"File", "Creat", "Move", "Inf"}));
    QCOMPARE(names(control<QMenu>(w(), "File")->actions()), (QStringList{"New", "Load", "space1", "End"}));
    QCOMPARE(names(control<QMenu>(w(), "Creat")->actions()), (QStringList{"Clear", "count"}));
    QCOMPARE(names(control<QMenu>(w(), "Move")->actions()),
             (QStringList{"ChangeSend", "Reload", "SSpeed", "space2", "ReBigin", "RSClear"}));
    QCOMPARE(names(control<QMenu>(w(), "SSpeed")->actions()), (QStringList{"HHi", "Hi", "HMid", "Mid", "Lo"}));
    QCOMPARE(names(control<QMenu>(w(), "Inf")->actions()), (QStringList{"VerInf"}));
    QVERIFY(action(w(), "space1")->isSeparator());
    QVERIFY(action(w(), "space2")->isSeparator());
    // No shortcut keys.
    for (QAction *a : w().findChildren<QAction *>()) QVERIFY2(a->shortcut().isEmpty(), qPrintable(a->objectName()));
  }

  // ------------------------------------------------------- convert and send

  void workedExample() {
    QVERIFY(openPortOnPty());
    QCOMPARE(convertAndSend(QStringLiteral("あ"), 276), exampleMessage());

    const QString packed = QString::fromLatin1(examplePacket().toHex().toUpper());
    QCOMPARE(fieldText(w(), "Text1"), "あ" + kBlank.repeated(14));
    QCOMPARE(fieldText(w(), "Text19"), QStringLiteral("15"));
    QCOMPARE(fieldText(w(), "Text21"), QStringLiteral("1"));
    QCOMPARE(fieldText(w(), "Text13"), QString::fromLatin1(examplePacket().toHex(' ').toUpper()));
    QCOMPARE(fieldText(w(), "Text14"), QStringLiteral("E6FA"));
    QCOMPARE(fieldText(w(), "Text15"), packed);
    QCOMPARE(fieldText(w(), "Text22"), packed);
    QCOMPARE(fieldText(w(), "Text4"), QStringLiteral("2422") + QStringLiteral("2121").repeated(14));
    QCOMPARE(fieldText(w(), "Text6").size(), 15 * 16);
    QCOMPARE(fieldText(w(), "Text20"), QString());
    QCOMPARE(fieldText(w(), "Text3"), QStringLiteral("あ"));
    for (int k = 23; k <= 37; ++k) QCOMPARE(fieldText(w(), QStringLiteral("Text%1").arg(k)), QString());
    QCOMPARE(label(w(), "Label14")->text(), QStringLiteral("変換完了！"));
    QCOMPARE(label(w(), "Label1")->text(), QString());
    QCOMPARE(dialogs_->messages, QStringList());
  }

  void fieldsShowWhatIsSent() {
    // Three frames: the frame fields are what went on the line, in order.
    QVERIFY(openPortOnPty());
    const QString text = QStringLiteral("漢字かなABC").repeated(30);  // 240 + 14 = 254 characters
    const QByteArray message = convertAndSend(text, 14 + 2 * 262);
    QCOMPARE(fieldText(w(), "Text21"), QStringLiteral("2"));
    QCOMPARE(message.left(14), bytesOf("00 00 25 00 00 25 EF 00 00 04 02 00 06 EF"));
    QCOMPARE(message.mid(14, 262), QByteArray::fromHex(fieldText(w(), "Text22").toLatin1()));
    QCOMPARE(message.mid(14 + 262), QByteArray::fromHex(fieldText(w(), "Text23").toLatin1()));
    QCOMPARE(fieldText(w(), "Text15"), fieldText(w(), "Text23"));
    QVERIFY(fieldText(w(), "Text1").startsWith(QStringLiteral("漢字かなＡＢＣ")));
  }

  void shorterRunLeavesHigherFramesAlone() {
    QVERIFY(openPortOnPty());
    const QByteArray longMessage = convertAndSend(QStringLiteral("あ").repeated(300), 14 + 3 * 262);
    QCOMPARE(longMessage.size(), 14 + 3 * 262);
    const QString frame2 = fieldText(w(), "Text23");
    const QString frame3 = fieldText(w(), "Text24");
    QVERIFY(frame2.startsWith(QStringLiteral("000200")));
    QVERIFY(frame3.startsWith(QStringLiteral("000300")));

    QCOMPARE(convertAndSend(QStringLiteral("あ"), 276), exampleMessage());
    QCOMPARE(fieldText(w(), "Text21"), QStringLiteral("1"));
    QCOMPARE(fieldText(w(), "Text23"), frame2);
    QCOMPARE(fieldText(w(), "Text24"), frame3);
    QCOMPARE(fieldText(w(), "Text22"), QString::fromLatin1(examplePacket().toHex().toUpper()));
  }

  void longestText() {
    // 2033 characters: sixteen frames in one message of 4206 bytes.
    QVERIFY(openPortOnPty());
    const QByteArray message = convertAndSend(QStringLiteral("い").repeated(2033), 4206);
    QCOMPARE(message.size(), 4206);
    QCOMPARE(message.mid(7, 7), bytesOf("00 00 04 10 00 14 EF"));
    for (int k = 1; k <= 16; ++k)
      QCOMPARE(message.mid(14 + 262 * (k - 1), 262),
               QByteArray::fromHex(fieldText(w(), QStringLiteral("Text%1").arg(21 + k)).toLatin1()));
    QCOMPARE(fieldText(w(), "Text19"), QStringLiteral("2047"));
    QCOMPARE(fieldText(w(), "Text21"), QStringLiteral("16"));
  }

  void emptyInput() {
    QVERIFY(openPortOnPty());
    check1(w())->setChecked(true);
    action(w(), "Reload")->trigger();
    QVERIFY(timer1(w())->isActive());

    button(w(), "Command1")->click();
    QCOMPARE(dialogs_->messages, QStringList{QStringLiteral("文字を入力してください")});
    QVERIFY(!check1(w())->isChecked());
    QVERIFY(!timer1(w())->isActive());
    QCOMPARE(label(w(), "Label15")->text(), QStringLiteral("自動更新"));
    QCOMPARE(fieldText(w(), "Text1"), kBlank.repeated(14));
    QCOMPARE(fieldText(w(), "Text19"), QStringLiteral("14"));
    QCOMPARE(fieldText(w(), "Text21"), QString());
    QCOMPARE(label(w(), "Label14")->text(), QStringLiteral("未変換"));
    // Only the update commands from before the run reached the line.
    QVERIFY(updateCommandsIn(readUntilQuiet(*pty_)) >= 0);
  }

  void inputOverTheLimit() {
    QVERIFY(openPortOnPty());
    textField(w(), "Text3")->setFieldText(QStringLiteral("a").repeated(2034));
    button(w(), "Command1")->click();
    QCOMPARE(dialogs_->messages, QStringList{QStringLiteral("文字数オーバー")});
    QCOMPARE(fieldText(w(), "Text19"), QStringLiteral("2048"));
    QCOMPARE(fieldText(w(), "Text1"), QStringLiteral("a").repeated(2034) + kBlank.repeated(14));
    QCOMPARE(fieldText(w(), "Text21"), QString());
    QCOMPARE(fieldText(w(), "Text22"), QString());
    QCOMPARE(label(w(), "Label14")->text(), QStringLiteral("未変換"));
    QCOMPARE(label(w(), "Label15")->text(), QStringLiteral("自動更新なし"));
    QVERIFY(!timer1(w())->isActive());
    QCOMPARE(readUntilQuiet(*pty_), QByteArray());
  }

  void unusableCharacter() {
    QVERIFY(openPortOnPty());
    const QByteArray message = convertAndSend(QStringLiteral("漢한字"), 276);
    QCOMPARE(dialogs_->messages, QStringList{QStringLiteral("使用不可能な文字が含まれています")});
    QCOMPARE(label(w(), "Label1")->text(), QStringLiteral("文字コード ERROR"));
    // The frame is completed and sent all the same.
    QCOMPARE(message.size(), 276);
    QCOMPARE(message.mid(14, 7), bytesOf("00 01 00 00 8B 41 02"));
    QCOMPARE(message.mid(21, 252), QByteArray(252, '\xFF'));
    // A later good run does not clear the error caption.
    convertAndSend(QStringLiteral("あ"), 276);
    QCOMPARE(label(w(), "Label1")->text(), QStringLiteral("文字コード ERROR"));
  }

  void operatorEnterReachesTheEncoderAsCrLf() {
    QVERIFY(openPortOnPty());
    auto *input = textField(w(), "Text3");
    input->setFocus();
    QTest::keyClicks(input, QStringLiteral("a"));
    QTest::keyClick(input, Qt::Key_Return);
    QTest::keyClicks(input, QStringLiteral("b"));
    QCOMPARE(input->fieldText(), QStringLiteral("a\r\nb"));
    const QByteArray message = convertAndSend(input->fieldText(), 276);
    QCOMPARE(fieldText(w(), "Text1"), QStringLiteral("ａ\r\nｂ") + kBlank.repeated(14));
    QCOMPARE(fieldText(w(), "Text19"), QStringLiteral("18"));
    // CR and LF each travel as a full-width blank.
    QCOMPARE(message.mid(14 + 5 + 2, 4), bytesOf("81 04 81 04"));
  }

  // ------------------------------------------------------ closed port

  void closedPortIsReportedOnce() {
    textField(w(), "Text3")->setFieldText(QStringLiteral("あ"));
    button(w(), "Command1")->click();
    QCOMPARE(dialogs_->messages, QStringList{QStringLiteral("ポートが開いていません")});
    QCOMPARE(fieldText(w(), "Text22"), QString::fromLatin1(examplePacket().toHex().toUpper()));

    dialogs_->messages.clear();
    action(w(), "ChangeSend")->trigger();
    button(w(), "Command4")->click();
    action(w(), "RSClear")->trigger();
    button(w(), "Command7")->click();
    action(w(), "ReBigin")->trigger();
    QCOMPARE(dialogs_->messages, QStringList(5, QStringLiteral("ポートが開いていません")));

    // An unusable character and the closed port: both, in that order.
    dialogs_->messages.clear();
    textField(w(), "Text3")->setFieldText(QStringLiteral("漢한字"));
    button(w(), "Command1")->click();
    QCOMPARE(dialogs_->messages,
             (QStringList{QStringLiteral("使用不可能な文字が含まれています"), QStringLiteral("ポートが開いていません")}));

    // Nothing to write: no word about the port.
    dialogs_->messages.clear();
    textField(w(), "Text3")->setFieldText(QString());
    button(w(), "Command1")->click();
    QCOMPARE(dialogs_->messages, QStringList{QStringLiteral("文字を入力してください")});
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

    w().findChild<QPushButton *>(buttonName)->click();
    const QByteArray byButton = readAtFarEnd(*pty_, bytes.size());
    timer1(w())->stop();
    QVERIFY(updateCommandsIn(readUntilQuiet(*pty_)) >= 0);
    w().findChild<QAction *>(actionName)->trigger();
    const QByteArray byMenu = readAtFarEnd(*pty_, bytes.size());
    timer1(w())->stop();
    QVERIFY(updateCommandsIn(readUntilQuiet(*pty_)) >= 0);

    QCOMPARE(byButton, bytes);
    QCOMPARE(byMenu, bytes);
    QCOMPARE(dialogs_->messages, QStringList());
  }

  void controlCommandsChangeNothingInTheWindow() {
    QVERIFY(openPortOnPty());
    check1(w())->setChecked(true);
    action(w(), "Lo")->trigger();
    textField(w(), "Text3")->setFieldText(QStringLiteral("そのまま"));
    label(w(), "Label1")->setText(QStringLiteral("前のエラー"));

    button(w(), "Command4")->click();
    button(w(), "Command4")->click();
    action(w(), "ReBigin")->trigger();
    QCOMPARE(readUntilQuiet(*pty_), bytesOf("00 00 14 00 00 14 EF").repeated(2) + bytesOf("00 00 18 00 00 18 EF"));

    for (const QString &name : allFieldNames())
      QCOMPARE(fieldText(w(), name), name == "Text3" ? QStringLiteral("そのまま") : QString());
    QCOMPARE(label(w(), "Label14")->text(), QStringLiteral("未変換"));
    QCOMPARE(label(w(), "Label15")->text(), QStringLiteral("自動更新なし"));
    QCOMPARE(label(w(), "Label1")->text(), QStringLiteral("前のエラー"));
    QVERIFY(check1(w())->isChecked());
    QVERIFY(!timer1(w())->isActive());
    QVERIFY(control<QRadioButton>(w(), "Option5")->isChecked());
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
    // Start from a different choice so that the item has work to do.
    action(w(), option == 3 ? "Mid" : "HMid")->trigger();
    w().findChild<QAction *>(item)->trigger();

    const QStringList marks = {"HHi", "Hi", "HMid", "Mid", "Lo"};
    for (int k = 1; k <= 5; ++k) {
      QCOMPARE(action(w(), qPrintable(marks[k - 1]))->isChecked(), k == option);
      QCOMPARE(control<QRadioButton>(w(), qPrintable(QStringLiteral("Option%1").arg(k)))->isChecked(), k == option);
    }
    QCOMPARE(readUntilQuiet(*pty_, 50), QByteArray());  // choosing sends nothing

    const QByteArray message = convertAndSend(QStringLiteral("あ"), 276);
    QCOMPARE(message.mid(14 + 3, 2), QByteArray(1, speedByte) + '\x8B');
  }

  void speedSelectorsDisagree() {
    QVERIFY(openPortOnPty());
    action(w(), "Lo")->trigger();
    control<QRadioButton>(w(), "Option2")->click();
    QVERIFY(control<QRadioButton>(w(), "Option2")->isChecked());
    QVERIFY(!control<QRadioButton>(w(), "Option5")->isChecked());
    QVERIFY(action(w(), "Lo")->isChecked());
    QVERIFY(!action(w(), "Hi")->isChecked());
    const QByteArray message = convertAndSend(QStringLiteral("あ"), 276);
    QCOMPARE(message.mid(14 + 3, 2), bytesOf("01 8B"));

    // The item already marked: both selectors stay as they are.
    action(w(), "Lo")->trigger();
    action(w(), "Lo")->trigger();
    QVERIFY(action(w(), "Lo")->isChecked());
    QVERIFY(control<QRadioButton>(w(), "Option5")->isChecked());
    QCOMPARE(w().findChildren<QRadioButton *>().size(), 5);
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
    check1(w())->setChecked(true);
    action(w(), "Reload")->trigger();
    label(w(), "Label1")->setText(QStringLiteral("文字コード ERROR"));
    label(w(), "Label14")->setText(QStringLiteral("変換完了！"));
    label(w(), "Label13")->setText(QStringLiteral("オープン"));

    if (auto *b = w().findChild<QPushButton *>(trigger))
      b->click();
    else
      w().findChild<QAction *>(trigger)->trigger();

    for (const QString &name : allFieldNames())
      QCOMPARE(fieldText(w(), name), name == "Text2" ? QStringLiteral("filled Text2") : QString());
    QCOMPARE(label(w(), "Label1")->text(), QStringLiteral("文字コード ERROR"));
    QCOMPARE(label(w(), "Label13")->text(), QStringLiteral("オープン"));
    QCOMPARE(label(w(), "Label14")->text(), QStringLiteral("変換完了！"));
    QCOMPARE(label(w(), "Label15")->text(), QStringLiteral("自動更新"));
    QVERIFY(check1(w())->isChecked());
    QVERIFY(timer1(w())->isActive());
    timer1(w())->stop();
    QCOMPARE(dialogs_->messages, QStringList());  // the port is closed, and nothing was to be sent
  }

  void count() {
    QVERIFY(openPortOnPty());
    textField(w(), "Text3")->setFieldText(QStringLiteral("ABC"));
    button(w(), "Command6")->click();
    QCOMPARE(fieldText(w(), "Text19"), QStringLiteral("0"));  // Text1 is still empty

    convertAndSend(QStringLiteral("ABC"), 276);
    lineField(w(), "Text19")->clear();
    button(w(), "Command6")->click();
    QCOMPARE(fieldText(w(), "Text19"), QStringLiteral("17"));

    textField(w(), "Text3")->setFieldText(QStringLiteral("ABCDEFG"));
    lineField(w(), "Text19")->clear();
    action(w(), "count")->trigger();
    QCOMPARE(fieldText(w(), "Text19"), QStringLiteral("17"));

    // Line breaks count as the characters they are.
    textField(w(), "Text1")->setFieldText(QStringLiteral("a\r\nb\nc"));
    action(w(), "count")->trigger();
    QCOMPARE(fieldText(w(), "Text19"), QStringLiteral("6"));

    button(w(), "Command2")->click();
    button(w(), "Command6")->click();
    QCOMPARE(fieldText(w(), "Text19"), QStringLiteral("0"));
  }

  void loadFile_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("two lines, CR LF") << QByteArray("one\r\ntwo\r\n") << "one\r\ntwo\r\n";
    QTest::newRow("no final line end") << QByteArray("one\r\ntwo") << "one\r\ntwo\r\n";
    QTest::newRow("lone CR") << QByteArray("one\rtwo") << "one\r\ntwo\r\n";
    QTest::newRow("lone LF inside a line") << QByteArray("one\ntwo\r\nthree") << "one\ntwo\r\nthree\r\n";
    QTest::newRow("empty file") << QByteArray() << "";
    QTest::newRow("UTF-8") << QByteArray("漢字\r\nかな") << "漢字\r\nかな\r\n";
    QTest::newRow("UTF-8 with BOM") << QByteArray("\xEF\xBB\xBFあ\r\n") << "あ\r\n";
    QTest::newRow("code page 932") << QByteArray("\x8A\xBF\x8E\x9A\r\n\x82\xA0\xB1") << "漢字\r\nあｱ\r\n";
  }
  void loadFile() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("入力.txt")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
    file.close();

    textField(w(), "Text3")->setFieldText(QStringLiteral("what the operator had typed\r\n"));
    lineField(w(), "Text19")->setText(QStringLiteral("42"));
    dialogs_->filesToChoose = {file.fileName()};
    button(w(), "Command8")->click();
    QCOMPARE(fieldText(w(), "Text3"), text);
    QCOMPARE(dialogs_->fileFilters, QStringList{QStringLiteral("テキストファイル (*.txt)|*.txt")});
    QCOMPARE(dialogs_->messages, QStringList());
    QCOMPARE(fieldText(w(), "Text19"), QStringLiteral("42"));
    QCOMPARE(label(w(), "Label14")->text(), QStringLiteral("未変換"));

    // The menu item loads the same way.
    textField(w(), "Text3")->setFieldText(QStringLiteral("again"));
    dialogs_->filesToChoose = {file.fileName()};
    action(w(), "Load")->trigger();
    QCOMPARE(fieldText(w(), "Text3"), text);
  }

  void loadingNothing() {
    // The dialog cancelled: nothing happens.
    textField(w(), "Text3")->setFieldText(QStringLiteral("keep"));
    button(w(), "Command8")->click();
    QCOMPARE(dialogs_->fileFilters.size(), 1);
    QCOMPARE(fieldText(w(), "Text3"), QStringLiteral("keep"));
    QCOMPARE(dialogs_->messages, QStringList());
  }

  void loadingAFileThatCannotBeRead_data() {
    QTest::addColumn<QString>("name");
    QTest::newRow("missing") << "ない.txt";
    QTest::newRow("a folder") << "folder.txt";
  }
  void loadingAFileThatCannotBeRead() {
    QFETCH(QString, name);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder.txt")));
    const QString path = dir.filePath(name);
    textField(w(), "Text3")->setFieldText(QStringLiteral("keep\r\n"));
    dialogs_->filesToChoose = {path};
    button(w(), "Command8")->click();
    QCOMPARE(fieldText(w(), "Text3"), QStringLiteral("keep\r\n"));
    QCOMPARE(dialogs_->messages.size(), 1);
    const QString message = dialogs_->messages.first();
    QVERIFY2(message.contains(QDir::toNativeSeparators(path)), qPrintable(message));
    // The reason follows the name.
    QVERIFY2(message.section(u'\n', -1).size() > 3, qPrintable(message));
  }

  void end() {
    QVERIFY(openPortOnPty());
    button(w(), "Command3")->click();
    QCOMPARE(endCalls_, 1);
    QVERIFY(!w().port().isOpen());

    action(w(), "End")->trigger();  // the port is closed already: left alone
    QCOMPARE(endCalls_, 2);
    QVERIFY(!w().port().isOpen());
    QCOMPARE(dialogs_->messages, QStringList());
  }
};

QTEST_MAIN(MainWindowTest)
#include "tst_main_window.moc"
