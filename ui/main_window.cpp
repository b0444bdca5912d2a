#include "ui/main_window.h"

#include "about/about_window.h"
#include "encoder/convert_and_send.h"
#include "ui/japanese_font.h"
#include "ui/operator_dialogs.h"
#include "ui/text_file.h"
#include "ui/text_field.h"
#include "ui_form1.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLayout>

#include <cstdlib>

namespace {

const QString kAutoUpdateOn = QStringLiteral("自動更新");
const QString kAutoUpdateOff = QStringLiteral("自動更新なし");
const QString kPortNotOpen = QStringLiteral("ポートが開いていません");
const QString kTextFileFilter = QStringLiteral("テキストファイル (*.txt)|*.txt");

void clearField(QWidget *field) {
  if (auto *text = qobject_cast<vf::TextField *>(field))
    text->setFieldText(QString());
  else if (auto *line = qobject_cast<QLineEdit *>(field))
    line->clear();
}

}  // namespace

Form1::Form1(QWidget *parent) : QMainWindow(parent), ui_(std::make_unique<Ui::Form1>()), MSComm1(this), Timer1(this) {
  ui_->setupUi(this);
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  layout()->setSizeConstraint(QLayout::SetFixedSize);

  setFont(vf::japaneseFont(9));
  setHeadingFonts();

  frameFields_ = {ui_->Text22, ui_->Text23, ui_->Text24, ui_->Text25, ui_->Text26, ui_->Text27,
                  ui_->Text28, ui_->Text29, ui_->Text30, ui_->Text31, ui_->Text32, ui_->Text33,
                  ui_->Text34, ui_->Text35, ui_->Text36, ui_->Text37};

  MSComm1.setObjectName(QStringLiteral("MSComm1"));
  Timer1.setObjectName(QStringLiteral("Timer1"));
  Timer1.setTimerType(Qt::PreciseTimer);
  Timer1.setInterval(20);

  endProgram_ = [] { std::exit(EXIT_SUCCESS); };
  connectHandlers();
  connectPortEvents();
}

Form1::~Form1() = default;

void Form1::setHeadingFonts() {
  const QFont heading = vf::japaneseFont(14.25);
  for (QLabel *label : {ui_->Label11, ui_->Label3, ui_->Label4}) label->setFont(heading);
}

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
}

void Form1::showMessage(const QString &text) { vf::OperatorDialogs::current().showMessage(this, text); }

// ---------------------------------------------------------------------------
// The serial port

bool Form1::WriteToPort(const QByteArray &bytes) {
  if (!MSComm1.isOpen() || !MSComm1.isWritable()) return false;
  if (MSComm1.write(bytes) != bytes.size()) return false;
  // Start the bytes on their way now; whatever the line does not take at once
  // follows from the port's buffer, in order, before anything written later.
  MSComm1.flush();
  return true;
}

bool Form1::SendControlCommand(vf::CommandCode code, std::uint8_t parameter) {
  return WriteToPort(vf::controlCommand(code, parameter));
}

bool Form1::SendMessage(const std::vector<QByteArray> &writes) {
  // No event is processed between the writes, so nothing else (an update
  // command, the answer to a reply) can come between the start command and
  // the last packet.
  for (const QByteArray &bytes : writes)
    if (!WriteToPort(bytes)) return false;
  return true;
}

void Form1::reportFailedWrite() {
  if (!MSComm1.isOpen())
    showMessage(kPortNotOpen);
  else
    showMessage(QStringLiteral("シリアルポートへの書き込みに失敗しました（%1）").arg(MSComm1.errorString()));
}

// ---------------------------------------------------------------------------
// Convert and send

int Form1::selectedSpeedOption() const {
  const QRadioButton *options[] = {ui_->Option1, ui_->Option2, ui_->Option3, ui_->Option4, ui_->Option5};
  for (int i = 0; i < 5; ++i)
    if (options[i]->isChecked()) return i + 1;
  return 1;
}

void Form1::applyRun(const vf::ConvertRunResult &run) {
  auto &u = *ui_;
  if (run.text1) u.Text1->setFieldText(*run.text1);
  if (run.text19) u.Text19->setText(*run.text19);
  if (run.text4) u.Text4->setFieldText(*run.text4);
  if (run.text6) u.Text6->setFieldText(*run.text6);
  if (run.text13) u.Text13->setFieldText(*run.text13);
  if (run.text14) u.Text14->setText(*run.text14);
  if (run.text15) u.Text15->setFieldText(*run.text15);
  if (run.text20) u.Text20->setText(*run.text20);
  if (run.text21) u.Text21->setText(*run.text21);
  if (run.label14) u.Label14->setText(*run.label14);
  for (std::size_t k = 0; k < frameFields_.size(); ++k)
    if (run.frameFields[k]) frameFields_[k]->setFieldText(*run.frameFields[k]);
}

void Form1::Command1_Click() {
  ApplyAutoUpdate();
  const vf::ConvertRunResult run = vf::runConvertAndSend(
      {ui_->Text3->fieldText(), selectedSpeedOption(), !ui_->Text13->fieldText().isEmpty()});
  applyRun(run);
  for (const vf::OperatorNotice &notice : run.notices) {
    switch (notice.kind) {
      case vf::OperatorNotice::Kind::MessageBox:
        showMessage(notice.text);
        break;
      case vf::OperatorNotice::Kind::Label1Caption:
        ui_->Label1->setText(notice.text);
        break;
      case vf::OperatorNotice::Kind::ClearCheck1:
        ui_->Check1->setChecked(false);
        break;
    }
  }
  if (!run.writes.empty() && !SendMessage(run.writes)) reportFailedWrite();
  if (run.enableTimerAfterSend) enableTimer1();
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
  if (!SendControlCommand(vf::CommandCode::Update)) {
    // No port to send to (closed, or closed for a port change): auto update
    // stops quietly; the operator switches it on again.
    Timer1.stop();
    return;
  }
  // Timer1 is a periodic precise timer: the next tick already comes a full
  // period after this one. Stopping and starting it here would add the time
  // this handler took to every period and let the rate drift below 50 a second.
}

// ---------------------------------------------------------------------------
// Control commands

void Form1::Command4_Click() {
  if (!SendControlCommand(vf::CommandCode::DisplayClear)) reportFailedWrite();
}

void Form1::Command7_Click() {
  if (!SendControlCommand(vf::CommandCode::DataCue)) reportFailedWrite();
}

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
  auto &u = *ui_;
  QWidget *fields[] = {u.Text1,  u.Text3,  u.Text4,  u.Text6,  u.Text13, u.Text14, u.Text15,
                       u.Text19, u.Text20, u.Text21, u.Text22, u.Text23, u.Text24, u.Text25,
                       u.Text26, u.Text27, u.Text28, u.Text29, u.Text30, u.Text31, u.Text32,
                       u.Text33, u.Text34, u.Text35, u.Text36, u.Text37};
  for (QWidget *field : fields) clearField(field);
}

void Form1::Command6_Click() { ui_->Text19->setText(QString::number(ui_->Text1->fieldText().size())); }

void Form1::Command8_Click() {
  const QString path = vf::OperatorDialogs::current().chooseFileToOpen(this, kTextFileFilter);
  if (path.isEmpty()) return;

  QFile file(path);
  QByteArray bytes;
  bool read = file.open(QIODevice::ReadOnly);
  if (read) {
    bytes = file.readAll();
    read = file.error() == QFileDevice::NoError;
  }
  if (!read) {
    showMessage(QStringLiteral("ファイルを読み込めませんでした。\n%1\n%2")
                    .arg(QDir::toNativeSeparators(path), file.errorString()));
    return;
  }
  ui_->Text3->setFieldText(vf::textFromFileBytes(bytes));
}

void Form1::Command3_Click() {
  if (MSComm1.isOpen()) MSComm1.close();
  endProgram_();
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

frmAbout *Form1::aboutWindow() const { return about_; }

void Form1::VerInf_Click() {
  if (!about_) about_ = new frmAbout(this);
  about_->show();
  about_->raise();
  about_->activateWindow();
}
