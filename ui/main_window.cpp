#include "ui/main_window.h"

#include "about/about_window.h"
#include "encoder/text_check.h"
#include "encoder/text_file.h"
#include "settings/port_dialog.h"
#include "ui/japanese_font.h"
#include "ui/operator_dialogs.h"
#include "ui/preview_window.h"
#include "ui/text_field.h"
#include "ui_form1.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QLayout>
#include <QMenuBar>
#include <QScreen>
#include <QSettings>
#include <QStandardPaths>
#include <QStatusBar>
#include <QStyle>

#include <algorithm>
#include <cstdlib>

namespace {

const QString kAutoUpdateOn = QStringLiteral("自動更新");
const QString kAutoUpdateOff = QStringLiteral("自動更新なし");
const QString kTextFileFilter = QStringLiteral("テキストファイル (*.txt)|*.txt");

void setFieldText(QWidget *field, const QString &text) {
  if (auto *multiLine = qobject_cast<vf::TextField *>(field))
    multiLine->setFieldText(text);
  else if (auto *line = qobject_cast<QLineEdit *>(field))
    line->setText(text);
  else if (auto *label = qobject_cast<QLabel *>(field))
    label->setText(text);
}

}  // namespace

Form1::Form1(Setup setup, QWidget *parent)
    : QMainWindow(parent), ui_(std::make_unique<Ui::Form1>()), setup_(std::move(setup)),
      link_(setup_.deviceNamer, this), Timer1(this) {
  ui_->setupUi(this);
  link_.setObjectName(QStringLiteral("MSComm1"));  // the window's serial port
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  layout()->setSizeConstraint(QLayout::SetFixedSize);

  setFont(vf::japaneseFont(9));
  const QFont heading = vf::japaneseFont(14.25);
  for (QLabel *label : {ui_->Label11, ui_->Label3, ui_->Label4}) label->setFont(heading);

  // The fields that show results take no typing and are no stops of Tab;
  // their text can still be selected and copied.
  for (QWidget *field : outputFields()) {
    if (auto *multiLine = qobject_cast<vf::TextField *>(field)) {
      multiLine->setReadOnly(true);
      multiLine->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    } else if (auto *line = qobject_cast<QLineEdit *>(field)) {
      line->setReadOnly(true);
    }
    field->setFocusPolicy(Qt::ClickFocus);
  }
  setTabOrder(ui_->Text3, ui_->Command1);

  // The keys of the menu items; their captions stay as they are.
  ui_->ChangeSend->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Enter)});
  ui_->Load->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
  ui_->End->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));

  // While bytes of a message are on their way: how many have gone, of all.
  sendProgress_ = new QProgressBar(this);
  sendProgress_->setObjectName(QStringLiteral("SendProgress"));
  sendProgress_->setFormat(QStringLiteral("送信中 %v／%m バイト"));
  sendProgress_->hide();
  statusBar()->addWidget(sendProgress_, 1);

  Timer1.setObjectName(QStringLiteral("Timer1"));
  Timer1.setTimerType(Qt::PreciseTimer);
  Timer1.setSingleShot(true);
  Timer1.setInterval(20);
  previewDue_.setSingleShot(true);
  previewDue_.setInterval(30);
  connect(&previewDue_, &QTimer::timeout, this, &Form1::updatePreview);
  stateDue_.setSingleShot(true);
  stateDue_.setInterval(500);
  connect(&stateDue_, &QTimer::timeout, this, &Form1::saveWindowState);
  if (setup_.windowStateFile.isEmpty()) {
    setup_.windowStateFile =
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/vf3360/window.ini");
  }
  connectHandlers();
}

Form1::~Form1() = default;

void Form1::connectHandlers() {
  auto &u = *ui_;
  connect(u.Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
  connect(u.Command2, &QPushButton::clicked, this, &Form1::Command2_Click);
  connect(u.Command3, &QPushButton::clicked, this, &Form1::Command3_Click);
  connect(u.Command4, &QPushButton::clicked, this, &Form1::Command4_Click);
  connect(u.Command5, &QPushButton::clicked, this, &Form1::Command5_Click);
  connect(u.Command6, &QPushButton::clicked, this, &Form1::Command6_Click);
  connect(u.Command7, &QPushButton::clicked, this, &Form1::Command7_Click);
  connect(u.Command8, &QPushButton::clicked, this, &Form1::Command8_Click);
  connect(u.Check1, &QCheckBox::toggled, this, &Form1::Check1_Click);
  connect(&Timer1, &QTimer::timeout, this, &Form1::Timer1_Timer);
  connect(&link_, &vf::ModuleLink::event, this, &Form1::MSComm1_OnComm);
  connect(&link_, &vf::ModuleLink::sending, this, &Form1::showSendProgress);

  connect(u.New, &QAction::triggered, this, &Form1::New_Click);
  connect(u.Load, &QAction::triggered, this, &Form1::Load_Click);
  connect(u.End, &QAction::triggered, this, &Form1::End_Click);
  connect(u.Clear, &QAction::triggered, this, &Form1::Clear_Click);
  connect(u.count, &QAction::triggered, this, &Form1::count_Click);
  connect(u.ChangeSend, &QAction::triggered, this, &Form1::ChangeSend_Click);
  connect(u.Reload, &QAction::triggered, this, &Form1::Reload_Click);
  connect(u.HHi, &QAction::triggered, this, &Form1::HHi_Click);
  connect(u.Hi, &QAction::triggered, this, &Form1::Hi_Click);
  connect(u.HMid, &QAction::triggered, this, &Form1::HMid_Click);
  connect(u.Mid, &QAction::triggered, this, &Form1::Mid_Click);
  connect(u.Lo, &QAction::triggered, this, &Form1::Lo_Click);
  connect(u.ReBigin, &QAction::triggered, this, &Form1::ReBigin_Click);
  connect(u.RSClear, &QAction::triggered, this, &Form1::RSClear_Click);
  connect(u.VerInf, &QAction::triggered, this, &Form1::VerInf_Click);
  connect(u.Preview, &QAction::triggered, this, &Form1::Preview_Click);
  connect(u.Text3, &QPlainTextEdit::textChanged, this, &Form1::Text3_Change);
  for (QRadioButton *option : {u.Option1, u.Option2, u.Option3, u.Option4, u.Option5})
    connect(option, &QRadioButton::toggled, this, [this] { previewDue_.start(); });
}

void Form1::showMessage(const QString &text) {
  QWidget *over = portDialog_ && portDialog_->isVisible() ? static_cast<QWidget *>(portDialog_) : this;
  vf::OperatorDialogs::current().showMessage(over, text);
}

// ---------------------------------------------------------------------------
// Convert and send

int Form1::selectedSpeedOption() const {
  const QRadioButton *options[] = {ui_->Option1, ui_->Option2, ui_->Option3, ui_->Option4, ui_->Option5};
  for (int i = 0; i < 5; ++i)
    if (options[i]->isChecked()) return i + 1;
  return 1;
}

std::array<vf::TextField *, vf::kMaxFrames> Form1::frameFields() const {
  const auto &u = *ui_;
  return {u.Text22, u.Text23, u.Text24, u.Text25, u.Text26, u.Text27, u.Text28, u.Text29,
          u.Text30, u.Text31, u.Text32, u.Text33, u.Text34, u.Text35, u.Text36, u.Text37};
}

std::vector<QWidget *> Form1::outputFields() const {
  const auto &u = *ui_;
  std::vector<QWidget *> fields = {u.Text1, u.Text2, u.Text4, u.Text6, u.Text13, u.Text14, u.Text15, u.Text19, u.Text20, u.Text21};
  for (vf::TextField *field : frameFields()) fields.push_back(field);
  return fields;
}

QWidget *Form1::fieldOf(vf::RunField field, int frame) const {
  using F = vf::RunField;
  switch (field) {
    case F::ModuleText: return ui_->Text1;
    case F::CharacterCount: return ui_->Text19;
    case F::FrameText: return ui_->Text20;
    case F::JisDigits: return ui_->Text4;
    case F::JisBits: return ui_->Text6;
    case F::PacketText: return ui_->Text13;
    case F::Checksum: return ui_->Text14;
    case F::PackedPacket: return ui_->Text15;
    case F::FrameCount: return ui_->Text21;
    case F::FramePacket: return frameFields().at(static_cast<std::size_t>(frame - 1));
    case F::ConversionStatus: return ui_->Label14;
    case F::ErrorCaption: return ui_->Label1;
  }
  return nullptr;
}

void Form1::showSteps(const std::vector<vf::RunStep> &steps) {
  // A field is written once with the last text it takes before the operator
  // can see it: before a message box, and at the end.
  QHash<QWidget *, QString> pending;
  const auto flush = [&] {
    for (auto it = pending.cbegin(); it != pending.cend(); ++it) setFieldText(it.key(), it.value());
    pending.clear();
  };
  for (const vf::RunStep &step : steps) {
    std::visit(
        [&](const auto &s) {
          using S = std::decay_t<decltype(s)>;
          if constexpr (std::is_same_v<S, vf::SetField>) {
            pending.insert(fieldOf(s.field, s.frame), s.text);
            return;
          }
          flush();
          if constexpr (std::is_same_v<S, vf::ShowMessage>) showMessage(s.text);
          if constexpr (std::is_same_v<S, vf::ClearAutoUpdate>) ui_->Check1->setChecked(false);
          if constexpr (std::is_same_v<S, vf::SelectInInput>) {
            ui_->Text3->selectExactRange(s.from, s.to);
            ui_->Text3->setFocus();
          }
        },
        step);
  }
  flush();
}

void Form1::Command1_Click() {
  ApplyAutoUpdate();
  const vf::BuiltMessage message = vf::buildMessage(ui_->Text3->fieldText(), selectedSpeedOption());
  showSteps(vf::presentRun(message, !ui_->Text13->fieldText().isEmpty()));
  if (message.outcome != vf::RunOutcome::Sent) return;
  if (!link_.sendMessage(message.writes)) showMessage(link_.failureText());
  enableTimer1();
}

// ---------------------------------------------------------------------------
// Auto update

void Form1::enableTimer1() {
  // Enabling a timer that runs already leaves its countdown alone.
  if (!Timer1.isActive()) Timer1.start();
}

void Form1::ApplyAutoUpdate() {
  if (ui_->Check1->isChecked()) ui_->Label15->setText(kAutoUpdateOn);
  if (!ui_->Check1->isChecked()) ui_->Label15->setText(kAutoUpdateOff);
  if (ui_->Check1->isChecked()) enableTimer1();
  if (!ui_->Check1->isChecked()) Timer1.stop();
}

void Form1::Reload_Click() { ApplyAutoUpdate(); }

void Form1::Check1_Click() {
  if (!ui_->Check1->isChecked()) Timer1.stop();
}

void Form1::Timer1_Timer() {
  // The next tick is counted from the start of this one: a full 20 ms after
  // it however late this one came, and 50 a second when nothing delays them.
  Timer1.start();
  // No port to send to (closed, or closed for a port change): auto update
  // stops quietly; the operator switches it on again.
  if (!link_.sendCommand(vf::CommandCode::Update)) Timer1.stop();
}

// ---------------------------------------------------------------------------
// Control commands

void Form1::sendOrTell(vf::CommandCode code) {
  if (!link_.sendCommand(code)) showMessage(link_.failureText());
}

void Form1::Command4_Click() { sendOrTell(vf::CommandCode::DisplayClear); }

void Form1::Command7_Click() { sendOrTell(vf::CommandCode::DataCue); }

// ---------------------------------------------------------------------------
// Scroll speed

void Form1::selectSpeed(int speed) {
  QAction *marks[] = {ui_->HHi, ui_->Hi, ui_->HMid, ui_->Mid, ui_->Lo};
  for (int i = 0; i < 5; ++i) marks[i]->setChecked(i + 1 == speed);
  QRadioButton *options[] = {ui_->Option1, ui_->Option2, ui_->Option3, ui_->Option4, ui_->Option5};
  options[speed - 1]->setChecked(true);
}

void Form1::HHi_Click() { selectSpeed(1); }
void Form1::Hi_Click() { selectSpeed(2); }
void Form1::HMid_Click() { selectSpeed(3); }
void Form1::Mid_Click() { selectSpeed(4); }
void Form1::Lo_Click() { selectSpeed(5); }

// ---------------------------------------------------------------------------
// Text commands

void Form1::Command2_Click() {
  // The operator's text goes as one edit that Ctrl+Z takes back.
  ui_->Text3->replaceText({});
  // Every other field that a run fills; Text2 shows the module's reply and stays.
  for (QWidget *field : outputFields())
    if (field != ui_->Text2) setFieldText(field, {});
}

void Form1::Command6_Click() { ui_->Text19->setText(QString::number(ui_->Text1->fieldText().size())); }

void Form1::Command8_Click() {
  const QString path = vf::OperatorDialogs::current().chooseFileToOpen(this, kTextFileFilter);
  if (path.isEmpty()) return;

  const vf::TextFileRead read = vf::readTextFile(path);
  if (!read.file) {
    showMessage(read.error);  // Text3 stays as it was
    return;
  }
  ui_->Text3->replaceText(read.file->text);
}

void Form1::Command3_Click() {
  if (ending_) return;
  ending_ = true;
  // Nothing more goes out; what has been written still does, to its last
  // byte, before the port closes.
  Timer1.stop();
  centralWidget()->setEnabled(false);
  menuBar()->setEnabled(false);
  link_.closeWhenSent([this] {
    saveWindowState();
    if (setup_.endProgram)
      setup_.endProgram();
    else
      std::exit(EXIT_SUCCESS);
  });
}

void Form1::closeEvent(QCloseEvent *event) {
  if (link_.bytesPending() > 0) {
    event->ignore();
    if (ending_) return;
    ending_ = true;
    Timer1.stop();
    centralWidget()->setEnabled(false);
    menuBar()->setEnabled(false);
    link_.closeWhenSent([this] { close(); });
    return;
  }
  Timer1.stop();
  saveWindowState();
  link_.close();
  event->accept();
}

void Form1::showSendProgress(vf::ModuleLink::SendProgress progress) {
  sendProgress_->setRange(0, static_cast<int>(progress.total));
  sendProgress_->setValue(static_cast<int>(progress.gone));
  sendProgress_->setVisible(progress.gone < progress.total);
}

// ---------------------------------------------------------------------------
// Menu items that press a button

void Form1::New_Click() { ui_->Command2->click(); }
void Form1::Load_Click() { ui_->Command8->click(); }
void Form1::End_Click() { ui_->Command3->click(); }
void Form1::Clear_Click() { ui_->Command2->click(); }
void Form1::count_Click() { ui_->Command6->click(); }
void Form1::ChangeSend_Click() { ui_->Command1->click(); }
void Form1::ReBigin_Click() { ui_->Command7->click(); }
void Form1::RSClear_Click() { ui_->Command4->click(); }

// ---------------------------------------------------------------------------
// Marks and the preview

void Form1::Text3_Change() {
  const QString text = ui_->Text3->fieldText();
  std::vector<vf::TextField::Mark> marks;
  for (const vf::TextCheck::Range &range : vf::checkText(text).unusable) {
    QString character = text.mid(range.from, range.to - range.from);
    const char32_t codePoint = character.toUcs4().value(0);
    // A control character is named by its picture (␉ for U+0009, ␡ for U+007F).
    if (codePoint < 0x20) character = QChar(0x2400 + codePoint);
    if (codePoint == 0x7F) character = QChar(0x2421);
    marks.push_back({range.from, range.to,
                     QStringLiteral("「%1」（U+%2）はモジュールにない文字です。送信すると、そのフレームはこの文字の前で終わります")
                         .arg(character, QString::number(uint(codePoint), 16).toUpper().rightJustified(4, u'0'))});
  }
  ui_->Text3->setMarks(std::move(marks));
  if (preview_ && preview_->isVisible()) previewDue_.start();
}

void Form1::updatePreview() {
  if (preview_ && preview_->isVisible()) preview_->showText(ui_->Text3->fieldText(), selectedSpeedOption());
}

void Form1::Preview_Click() { setPreviewOpen(ui_->Preview->isChecked()); }

void Form1::setPreviewOpen(bool open) {
  ui_->Preview->setChecked(open);
  if (open && !preview_) {
    preview_ = new vf::PreviewWindow(this);
    preview_->setFont(font());
    QSettings state(setup_.windowStateFile, QSettings::IniFormat);
    // A remembered place that is on no screen now (a screen that has gone)
    // counts as none.
    if (!preview_->restoreGeometry(state.value(QStringLiteral("preview/geometry")).toByteArray()) ||
        !QGuiApplication::screenAt(preview_->geometry().center())) {
      placePreview();
    } else {
      preview_->fitWithin(preview_->screen()->availableGeometry().size());
    }
    connect(preview_, &vf::PreviewWindow::closedByOperator, this, [this] { setPreviewOpen(false); });
    connect(preview_, &vf::PreviewWindow::placed, this, [this] { stateDue_.start(); });
  }
  if (preview_) {
    preview_->setVisible(open);
    if (open) updatePreview();
  }
  saveWindowState();
}

void Form1::placePreview() {
  // The free room below the main window, above it, right and left of it: the
  // preview goes where its face is drawn largest, title bar included,
  // covering none of the main window. Where no room holds a third of the
  // face (a small screen), it goes to the bottom of the screen.
  enum class Side { Below, Above, Right, Left };
  struct Room {
    QRect rect;
    Side side;
  };
  const QRect screen = this->screen()->availableGeometry();
  const QRect main = frameGeometry();
  const int titleBar = style()->pixelMetric(QStyle::PM_TitleBarHeight);
  const int gap = 8;
  const Room rooms[] = {{QRect(QPoint(screen.left(), main.bottom() + 1 + gap), screen.bottomRight()), Side::Below},
                        {QRect(screen.topLeft(), QPoint(screen.right(), main.top() - 1 - gap)), Side::Above},
                        {QRect(QPoint(main.right() + 1 + gap, screen.top()), screen.bottomRight()), Side::Right},
                        {QRect(screen.topLeft(), QPoint(main.left() - 1 - gap, screen.bottom())), Side::Left}};
  Room best{screen, Side::Above};
  qreal bestScale = 0;
  for (const Room &room : rooms) {
    if (room.rect.width() <= 0 || room.rect.height() <= titleBar) continue;
    preview_->fitWithin(room.rect.size() - QSize(0, titleBar));
    if (preview_->faceScale() > bestScale) {
      bestScale = preview_->faceScale();
      best = room;
    }
  }
  if (bestScale < 1.0 / 3) best = {screen, Side::Above};
  preview_->fitWithin(best.rect.size() - QSize(0, titleBar));
  // A window's position is that of its frame.
  const QSize size = preview_->size() + QSize(0, titleBar);
  const QRect room = best.rect;
  const int alongX = std::clamp(main.left(), room.left(), std::max(room.left(), room.right() + 1 - size.width()));
  const int alongY = std::clamp(main.top(), room.top(), std::max(room.top(), room.bottom() + 1 - size.height()));
  switch (best.side) {
    case Side::Below: preview_->move(alongX, room.top()); break;
    case Side::Above: preview_->move(alongX, room.bottom() + 1 - size.height()); break;
    case Side::Right: preview_->move(room.left(), alongY); break;
    case Side::Left: preview_->move(room.right() + 1 - size.width(), alongY); break;
  }
}

void Form1::saveWindowState() {
  QSettings state(setup_.windowStateFile, QSettings::IniFormat);
  state.setValue(QStringLiteral("preview/open"), ui_->Preview->isChecked());
  if (preview_) state.setValue(QStringLiteral("preview/geometry"), preview_->saveGeometry());
}

void Form1::showEvent(QShowEvent *event) {
  QMainWindow::showEvent(event);
  if (previewRestored_) return;
  previewRestored_ = true;
  if (QSettings(setup_.windowStateFile, QSettings::IniFormat).value(QStringLiteral("preview/open")).toBool())
    setPreviewOpen(true);
}

void Form1::VerInf_Click() {
  if (!about_) {
    about_ = new frmAbout([](QWidget *parent, const QString &text) { vf::OperatorDialogs::current().showMessage(parent, text); },
                          this, link_.openDevice());
    about_->setFont(font());
  }
  about_->show();
  about_->raise();
  about_->activateWindow();
}
