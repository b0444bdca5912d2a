#include "ui/main_window.h"

#include "about/about_window.h"
#include "encoder/text_check.h"
#include "encoder/text_file.h"
#include "settings/port_dialog.h"
#include "settings/window_frame.h"
#include "ui/japanese_font.h"
#include "line_words/line_words.h"
#include "ui/operator_dialogs.h"
#include "ui/preview_window.h"
#include "ui/text_field.h"
#include "ui_main_window.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QLayout>
#include <QMenuBar>
#include <QScreen>
#include <QSettings>
#include <QShortcut>
#include <QStandardPaths>
#include <QStatusBar>

#include <algorithm>
#include <cstdlib>

namespace vf {

namespace {

const QString kAutoUpdateOn = QStringLiteral("自動更新");
const QString kAutoUpdateOff = QStringLiteral("自動更新なし");
const QString kTextFileFilter = QStringLiteral("テキストファイル (*.txt)|*.txt");

void setFieldText(QWidget *field, const QString &text) {
  if (auto *multiLine = qobject_cast<TextField *>(field))
    multiLine->setFieldText(text);
  else if (auto *line = qobject_cast<QLineEdit *>(field))
    line->setText(text);
  else if (auto *label = qobject_cast<QLabel *>(field))
    label->setText(text);
}

}  // namespace

MainWindow::MainWindow(Setup setup, QWidget *parent)
    : QMainWindow(parent), ui_(std::make_unique<Ui::MainWindow>()), setup_(std::move(setup)),
      // An update waits for a line that has not taken what went before it, at
      // most one: a held line never gathers a pile of them to burst out later.
      session_(setup_.deviceNamer, SessionOptions{.holdUpdatesForLine = true}, this), link_(session_.link()) {
  ui_->setupUi(this);
  link_.setObjectName(QStringLiteral("link"));  // the window's serial port
  session_.setAutoUpdate(ui_->autoUpdateCheck->isChecked());
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  layout()->setSizeConstraint(QLayout::SetFixedSize);

  setFont(japaneseFont(9));
  const QFont heading = japaneseFont(14.25);
  for (QLabel *label : {ui_->inputHeading, ui_->jisHexHeading, ui_->jisBinaryHeading}) label->setFont(heading);
  ui_->inputHeading->setText(QStringLiteral("表示するテキスト（最大文字数%1文字） 半角は全角に自動変換").arg(kMaxInputLength));

  // The fields that show results take no typing and are no stops of Tab;
  // their text can still be selected and copied.
  for (QWidget *field : outputFields()) {
    if (auto *multiLine = qobject_cast<TextField *>(field)) {
      multiLine->setReadOnly(true);
      multiLine->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    } else if (auto *line = qobject_cast<QLineEdit *>(field)) {
      line->setReadOnly(true);
    }
    field->setFocusPolicy(Qt::ClickFocus);
  }
  setTabOrder(ui_->inputField, ui_->convertAndSendButton);

  // The keys of the menu items, shown in the menus; each caption has its access key.
  ui_->convertAndSendAction->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Enter)});
  ui_->loadTextFileAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
  ui_->endAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
  ui_->previewAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
  // Undo and redo act on the input field wherever the focus is (on a button
  // just pressed, in a read-only field); in the field itself, it takes its keys first.
  ui_->undoAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
  ui_->redoAction->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)});
  connect(ui_->undoAction, &QAction::triggered, ui_->inputField, &QPlainTextEdit::undo);
  connect(ui_->redoAction, &QAction::triggered, ui_->inputField, &QPlainTextEdit::redo);
  ui_->undoAction->setEnabled(false);
  ui_->redoAction->setEnabled(false);
  connect(ui_->inputField, &QPlainTextEdit::undoAvailable, ui_->undoAction, &QAction::setEnabled);
  connect(ui_->inputField, &QPlainTextEdit::redoAvailable, ui_->redoAction, &QAction::setEnabled);
  // F10 opens the first menu, as on other desktops.
  auto *menuKey = new QShortcut(QKeySequence(Qt::Key_F10), this);
  connect(menuKey, &QShortcut::activated, this, [this] { menuBar()->setActiveAction(ui_->fileMenu->menuAction()); });

  // While bytes of a message are on their way: how many have gone, of all.
  sendProgress_ = new QProgressBar(this);
  sendProgress_->setObjectName(QStringLiteral("sendProgressBar"));
  sendProgress_->setFormat(QStringLiteral("送信中 %v／%m バイト"));
  sendProgress_->hide();
  statusBar()->addWidget(sendProgress_, 1);

  previewDue_.setSingleShot(true);
  previewDue_.setInterval(30);
  connect(&previewDue_, &QTimer::timeout, this, &MainWindow::updatePreview);
  stateDue_.setSingleShot(true);
  stateDue_.setInterval(500);
  connect(&stateDue_, &QTimer::timeout, this, &MainWindow::saveWindowState);
  if (setup_.windowStateFile.isEmpty()) {
    setup_.windowStateFile =
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/vf3360/window.ini");
  }
  connectHandlers();
}

MainWindow::~MainWindow() = default;

void MainWindow::connectHandlers() {
  auto &u = *ui_;
  connect(u.convertAndSendButton, &QPushButton::clicked, this, &MainWindow::convertAndSend);
  connect(u.clearAllTextButton, &QPushButton::clicked, this, &MainWindow::clearAllText);
  connect(u.endButton, &QPushButton::clicked, this, &MainWindow::endProgram);
  connect(u.displayClearButton, &QPushButton::clicked, this, &MainWindow::clearDisplay);
  connect(u.changePortButton, &QPushButton::clicked, this, &MainWindow::changePort);
  connect(u.countCharactersButton, &QPushButton::clicked, this, &MainWindow::countCharacters);
  connect(u.dataCueButton, &QPushButton::clicked, this, &MainWindow::sendDataCue);
  connect(u.loadTextFileButton, &QPushButton::clicked, this, &MainWindow::loadTextFile);
  // Clearing the check box stops the ticks at once; ticking it starts them
  // only when auto update is applied.
  connect(u.autoUpdateCheck, &QCheckBox::toggled, &session_, &DisplaySession::setAutoUpdate);
  connect(&session_, &DisplaySession::replyShown, u.replyField, &TextField::setFieldText);
  connect(&session_, &DisplaySession::deviceLost, this, &MainWindow::showDeviceLost);
  connect(&link_, &ModuleLink::sending, this, &MainWindow::showSendProgress);

  // The menu items of the buttons' captions press the buttons.
  connect(u.newTextAction, &QAction::triggered, u.clearAllTextButton, &QPushButton::click);
  connect(u.loadTextFileAction, &QAction::triggered, u.loadTextFileButton, &QPushButton::click);
  connect(u.endAction, &QAction::triggered, u.endButton, &QPushButton::click);
  connect(u.clearAllTextAction, &QAction::triggered, u.clearAllTextButton, &QPushButton::click);
  connect(u.countCharactersAction, &QAction::triggered, u.countCharactersButton, &QPushButton::click);
  connect(u.convertAndSendAction, &QAction::triggered, u.convertAndSendButton, &QPushButton::click);
  connect(u.dataCueAction, &QAction::triggered, u.dataCueButton, &QPushButton::click);
  connect(u.displayClearAction, &QAction::triggered, u.displayClearButton, &QPushButton::click);
  connect(u.applyAutoUpdateAction, &QAction::triggered, this, &MainWindow::applyAutoUpdate);
  connect(u.speedFastestAction, &QAction::triggered, this, [this] { selectSpeed(1); });
  connect(u.speedFastAction, &QAction::triggered, this, [this] { selectSpeed(2); });
  connect(u.speedMediumFastAction, &QAction::triggered, this, [this] { selectSpeed(3); });
  connect(u.speedMediumAction, &QAction::triggered, this, [this] { selectSpeed(4); });
  connect(u.speedSlowAction, &QAction::triggered, this, [this] { selectSpeed(5); });
  connect(u.aboutAction, &QAction::triggered, this, &MainWindow::showAbout);
  connect(u.previewAction, &QAction::triggered, this, &MainWindow::setPreviewOpen);
  connect(u.inputField, &QPlainTextEdit::textChanged, this, &MainWindow::markUnusableCharacters);
  for (QRadioButton *option : {u.speedFastestOption, u.speedFastOption, u.speedMediumFastOption, u.speedMediumOption, u.speedSlowOption})
    connect(option, &QRadioButton::toggled, this, [this] { previewDue_.start(); });
}

void MainWindow::showMessage(const QString &text) {
  QWidget *over = portDialog_ && portDialog_->isVisible() ? static_cast<QWidget *>(portDialog_) : this;
  OperatorDialogs::current().showMessage(over, text);
}

// ---------------------------------------------------------------------------
// Convert and send

int MainWindow::selectedSpeedOption() const {
  const QRadioButton *options[] = {ui_->speedFastestOption, ui_->speedFastOption, ui_->speedMediumFastOption, ui_->speedMediumOption, ui_->speedSlowOption};
  for (int i = 0; i < 5; ++i)
    if (options[i]->isChecked()) return i + 1;
  return 1;
}

std::array<TextField *, kMaxFrames> MainWindow::framePacketFields() const {
  const auto &u = *ui_;
  return {u.framePacketField1, u.framePacketField2, u.framePacketField3, u.framePacketField4, u.framePacketField5, u.framePacketField6, u.framePacketField7, u.framePacketField8,
          u.framePacketField9, u.framePacketField10, u.framePacketField11, u.framePacketField12, u.framePacketField13, u.framePacketField14, u.framePacketField15, u.framePacketField16};
}

std::vector<QWidget *> MainWindow::outputFields() const {
  const auto &u = *ui_;
  std::vector<QWidget *> fields = {u.moduleTextField, u.replyField, u.jisHexField, u.jisBinaryField, u.packetTextField, u.checksumField, u.packedPacketField, u.characterCountField, u.frameTextField, u.frameCountField};
  for (TextField *field : framePacketFields()) fields.push_back(field);
  return fields;
}

QWidget *MainWindow::controlShowing(RunField field, int frame) const {
  using F = RunField;
  switch (field) {
    case F::ModuleText: return ui_->moduleTextField;
    case F::CharacterCount: return ui_->characterCountField;
    case F::FrameText: return ui_->frameTextField;
    case F::JisDigits: return ui_->jisHexField;
    case F::JisBits: return ui_->jisBinaryField;
    case F::PacketText: return ui_->packetTextField;
    case F::Checksum: return ui_->checksumField;
    case F::PackedPacket: return ui_->packedPacketField;
    case F::FrameCount: return ui_->frameCountField;
    case F::FramePacket: return framePacketFields().at(static_cast<std::size_t>(frame - 1));
    case F::ConversionStatus: return ui_->conversionStatusLabel;
    case F::ErrorCaption: return ui_->errorCaptionLabel;
  }
  return nullptr;
}

void MainWindow::showSteps(const std::vector<RunStep> &steps) {
  // A field is written once with the last text it takes before the operator
  // can see it: before a message box, and at the end.
  QHash<QWidget *, QString> pending;
  const auto flush = [&] {
    for (auto it = pending.cbegin(); it != pending.cend(); ++it) setFieldText(it.key(), it.value());
    pending.clear();
  };
  for (const RunStep &step : steps) {
    std::visit(
        [&](const auto &s) {
          using S = std::decay_t<decltype(s)>;
          if constexpr (std::is_same_v<S, SetField>) {
            pending.insert(controlShowing(s.field, s.frame), s.text);
            return;
          }
          flush();
          if constexpr (std::is_same_v<S, ShowMessage>) showMessage(s.text);
          if constexpr (std::is_same_v<S, ClearAutoUpdate>) ui_->autoUpdateCheck->setChecked(false);
          if constexpr (std::is_same_v<S, SelectInInput>) {
            ui_->inputField->selectExactRange(s.from, s.to);
            ui_->inputField->setFocus();
          }
        },
        step);
  }
  flush();
}

void MainWindow::convertAndSend() {
  showAutoUpdateState();
  const BuiltMessage message = session_.prepare(ui_->inputField->fieldText(), selectedSpeedOption());
  showSteps(presentRun(message, !ui_->packetTextField->fieldText().isEmpty()));
  if (message.outcome != RunOutcome::Sent) return;
  if (const auto failure = session_.send(message)) showMessage(writeFailureText(*failure));
}

// ---------------------------------------------------------------------------
// Auto update

void MainWindow::showAutoUpdateState() {
  ui_->autoUpdateStateLabel->setText(ui_->autoUpdateCheck->isChecked() ? kAutoUpdateOn : kAutoUpdateOff);
}

void MainWindow::applyAutoUpdate() {
  showAutoUpdateState();
  session_.applyAutoUpdate();
}

// ---------------------------------------------------------------------------
// Control commands

void MainWindow::sendOrTell(CommandCode code) {
  if (!link_.sendCommand(code)) showMessage(writeFailureText(link_.writeFailure()));
}

void MainWindow::clearDisplay() { sendOrTell(CommandCode::DisplayClear); }

void MainWindow::sendDataCue() { sendOrTell(CommandCode::DataCue); }

// ---------------------------------------------------------------------------
// Scroll speed

void MainWindow::selectSpeed(int speed) {
  QAction *marks[] = {ui_->speedFastestAction, ui_->speedFastAction, ui_->speedMediumFastAction, ui_->speedMediumAction, ui_->speedSlowAction};
  for (int i = 0; i < 5; ++i) marks[i]->setChecked(i + 1 == speed);
  QRadioButton *options[] = {ui_->speedFastestOption, ui_->speedFastOption, ui_->speedMediumFastOption, ui_->speedMediumOption, ui_->speedSlowOption};
  options[speed - 1]->setChecked(true);
}


// ---------------------------------------------------------------------------
// Text commands

void MainWindow::clearAllText() {
  // The operator's text goes as one edit that Ctrl+Z takes back.
  ui_->inputField->replaceText({});
  // Every other field that a run fills; replyField shows the module's reply and stays.
  for (QWidget *field : outputFields())
    if (field != ui_->replyField) setFieldText(field, {});
}

void MainWindow::countCharacters() { ui_->characterCountField->setText(QString::number(ui_->moduleTextField->fieldText().size())); }

void MainWindow::loadTextFile() {
  const QString path = OperatorDialogs::current().chooseFileToOpen(this, kTextFileFilter);
  if (path.isEmpty()) return;

  const TextFileRead read = readTextFile(path);
  if (!read.file) {
    showMessage(read.error);  // inputField stays as it was
    return;
  }
  ui_->inputField->replaceText(read.file->text);
}

void MainWindow::endOnceSent(std::function<void()> then) {
  if (ending_) return;
  ending_ = true;
  // Nothing more goes out; what has been written still does, to its last
  // byte, before the port closes.
  session_.stopUpdates();
  centralWidget()->setEnabled(false);
  menuBar()->setEnabled(false);
  // The status bar counts the bytes down meanwhile. A line that took nothing
  // for their line time and a second is given up: the operator is told how
  // many did not go before the program ends.
  link_.whenSent([this, then = std::move(then)] {
    const qint64 left = link_.bytesPending();
    link_.close();
    if (left > 0) {
      showMessage(QStringLiteral("%1 バイトのうち %2 バイトを送信できませんでした（モジュールはメッセージの一部だけを表示しているかもしれません）")
                      .arg(sentSinceIdle_).arg(left));
    }
    if (then) then();
  });
}

void MainWindow::endProgram() {
  endOnceSent([this] {
    saveWindowState();
    if (setup_.endProgram)
      setup_.endProgram();
    else
      std::exit(EXIT_SUCCESS);
  });
}

void MainWindow::closeEvent(QCloseEvent *event) {
  if (link_.bytesPending() > 0) {
    event->ignore();
    endOnceSent([this] { close(); });
    return;
  }
  session_.stopUpdates();
  saveWindowState();
  link_.close();
  event->accept();
}

void MainWindow::showSendProgress(ModuleLink::SendProgress progress) {
  sentSinceIdle_ = progress.total;
  sendProgress_->setRange(0, static_cast<int>(progress.total));
  sendProgress_->setValue(static_cast<int>(progress.gone));
  sendProgress_->setVisible(progress.gone < progress.total);
}

// ---------------------------------------------------------------------------
// Marks and the preview

void MainWindow::markUnusableCharacters() {
  const QString text = ui_->inputField->fieldText();
  std::vector<TextField::Mark> marks;
  for (const TextCheck::Range &range : checkText(text).unusable) {
    QString character = text.mid(range.from, range.to - range.from);
    const char32_t codePoint = character.toUcs4().value(0);
    // A control character is named by its picture (␉ for U+0009, ␡ for U+007F).
    if (codePoint < 0x20) character = QChar(0x2400 + codePoint);
    if (codePoint == 0x7F) character = QChar(0x2421);
    marks.push_back({range.from, range.to,
                     QStringLiteral("「%1」（U+%2）はモジュールにない文字です。送信すると、そのフレームはこの文字の前で終わります")
                         .arg(character, QString::number(uint(codePoint), 16).toUpper().rightJustified(4, u'0'))});
  }
  ui_->inputField->setMarks(std::move(marks));
  if (preview_ && preview_->isVisible()) previewDue_.start();
}

void MainWindow::updatePreview() {
  if (preview_ && preview_->isVisible()) preview_->showText(ui_->inputField->fieldText(), selectedSpeedOption());
}

void MainWindow::setPreviewOpen(bool open) {
  ui_->previewAction->setChecked(open);
  if (open && !preview_) {
    preview_ = new PreviewWindow(this);
    preview_->setFont(font());
    // Where the preview's frame was (an older form of the place, or none, is no place).
    const QRect remembered = QSettings(setup_.windowStateFile, QSettings::IniFormat).value(QStringLiteral("preview/geometry")).toRect();
    if (remembered.isValid()) previewRemembered_ = remembered;
    preview_->showText(ui_->inputField->fieldText(), selectedSpeedOption());  // its counts take room too
    placePreview();
    connect(preview_, &PreviewWindow::closedByOperator, this, [this] { setPreviewOpen(false); });
    connect(preview_, &PreviewWindow::placed, this, [this] {
      // Placed once more when the window system has framed it: by its own frame now.
      if (previewPlacement_.framedSince(preview_)) placePreview();
      stateDue_.start();
    });
  }
  if (preview_) {
    preview_->setVisible(open);
    if (open) updatePreview();
  }
  saveWindowState();
}

void MainWindow::placePreview() {
  // The preview is placed by its frame; until the window system has framed it,
  // its frame is taken to be as the main window's.
  const QMargins frame = assumedFrame(preview_, this);
  const auto moveTo = [this](QPoint at) { previewPlacement_.moveTo(preview_, at); };

  // A remembered place is taken only where the whole frame lies on a screen now
  // (a larger screen or one that has gone left it partly beyond every edge).
  if (previewRemembered_) {
    const QRect place = *previewRemembered_;
    const QList<QScreen *> screens = QGuiApplication::screens();
    if (std::any_of(screens.begin(), screens.end(), [&](const QScreen *s) { return s->availableGeometry().contains(place); })) {
      // (a pixel more than its inside: the face's height was rounded when it was fitted)
      preview_->fitWithin(place.size().shrunkBy(frame) + QSize(0, 1));
      moveTo(place.topLeft());
      return;
    }
    previewRemembered_.reset();
  }

  // Afresh, on the main window's screen: the free room below the main window,
  // above it, right and left of it; the preview goes where its face is drawn
  // largest, covering none of the main window. Where no room holds a third of
  // the face (a small screen), it may cover the main window's frame fields
  // (the rows of frames 1 to 15, across the screen at their height): there lie
  // none of its input field, buttons and speed choices.
  enum class Side { Below, Above, Right, Left, Over };
  struct Room {
    QRect rect;
    Side side;
  };
  const QRect screen = this->screen()->availableGeometry();
  const QRect main = frameGeometry();
  const int gap = 8;
  const QRect firstFrame(ui_->framePacketField1->mapToGlobal(QPoint(0, 0)), ui_->framePacketField1->size());
  const QRect lastFrame(ui_->framePacketField15->mapToGlobal(QPoint(0, 0)), ui_->framePacketField15->size());
  const Room rooms[] = {{QRect(QPoint(screen.left(), main.bottom() + 1 + gap), screen.bottomRight()), Side::Below},
                        {QRect(screen.topLeft(), QPoint(screen.right(), main.top() - 1 - gap)), Side::Above},
                        {QRect(QPoint(main.right() + 1 + gap, screen.top()), screen.bottomRight()), Side::Right},
                        {QRect(screen.topLeft(), QPoint(main.left() - 1 - gap, screen.bottom())), Side::Left},
                        {QRect(QPoint(screen.left(), firstFrame.top()), QPoint(screen.right(), lastFrame.bottom())) & screen, Side::Over}};
  const auto scaleIn = [&](const QRect &room) {
    const QSize inner = room.size().shrunkBy(frame);
    if (inner.width() <= 0 || inner.height() <= 0) return 0.0;
    preview_->fitWithin(inner);
    // A room narrower than the counts, or lower than them, holds no preview.
    return room.size().expandedTo(preview_->size().grownBy(frame)) == room.size() ? preview_->faceScale() : 0.0;
  };
  Room best{screen, Side::Over};
  qreal bestScale = 0;
  for (const Room &room : rooms) {
    // The frame fields only where no free room holds a third of the face.
    if (room.side == Side::Over && bestScale >= 1.0 / 3) break;
    const qreal scale = scaleIn(room.rect);
    if (scale > bestScale) {
      bestScale = scale;
      best = room;
    }
  }
  preview_->fitWithin(best.rect.size().shrunkBy(frame));
  const QSize size = preview_->size().grownBy(frame);
  const QRect room = best.rect;
  const int alongX = std::clamp(main.left(), room.left(), std::max(room.left(), room.right() + 1 - size.width()));
  const int alongY = std::clamp(main.top(), room.top(), std::max(room.top(), room.bottom() + 1 - size.height()));
  switch (best.side) {
    case Side::Below: moveTo({alongX, room.top()}); break;
    case Side::Above:
    case Side::Over: moveTo({alongX, room.bottom() + 1 - size.height()}); break;
    case Side::Right: moveTo({room.left(), alongY}); break;
    case Side::Left: moveTo({room.right() + 1 - size.width(), alongY}); break;
  }
}

void MainWindow::saveWindowState() {
  QSettings state(setup_.windowStateFile, QSettings::IniFormat);
  state.setValue(QStringLiteral("preview/open"), ui_->previewAction->isChecked());
  if (preview_) state.setValue(QStringLiteral("preview/geometry"), preview_->frameGeometry());
}

void MainWindow::moveEvent(QMoveEvent *event) {
  QMainWindow::moveEvent(event);
  // A preview placed afresh follows the main window (the window system places
  // and frames it after its first show), until the operator moves it.
  if (preview_ && !previewRemembered_ && previewPlacement_.untouched(preview_)) placePreview();
}

void MainWindow::showEvent(QShowEvent *event) {
  QMainWindow::showEvent(event);
  if (previewRestored_) return;
  previewRestored_ = true;
  if (QSettings(setup_.windowStateFile, QSettings::IniFormat).value(QStringLiteral("preview/open")).toBool())
    setPreviewOpen(true);
}

void MainWindow::showAbout() {
  if (!about_) {
    about_ = new AboutWindow([](QWidget *parent, const QString &text) { OperatorDialogs::current().showMessage(parent, text); },
                          this, ProgramDevices{link_.openDevice(), setup_.givenDevice, setup_.deviceNamer});
    about_->setFont(font());
  }
  about_->show();
  about_->raise();
  about_->activateWindow();
}

}  // namespace vf
