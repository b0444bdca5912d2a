#include "settings/port_dialog.h"

#include "settings/ui_form2.h"
#include "ui/operator_dialogs.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QKeyEvent>

#include <utility>

namespace vf {

Form2::Form2(PortSettingsFile settings, ShowMainWindow showMainWindow, QWidget *parent)
    : QDialog(parent), ui_(std::make_unique<Ui::Form2>()), settings_(std::move(settings)),
      showMainWindow_(std::move(showMainWindow)) {
  ui_->setupUi(this);
  // A title and nothing else: no close box, no minimise or maximise button.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  setFixedSize(size());
  setAttribute(Qt::WA_DeleteOnClose);
  connect(ui_->Option1, &QRadioButton::clicked, this, &Form2::Option1_Click);
  connect(ui_->Option2, &QRadioButton::clicked, this, &Form2::Option2_Click);
  connect(ui_->Command1, &QPushButton::clicked, this, &Form2::Command1_Click);
}

Form2::~Form2() = default;

Form2 *Form2::showNew(PortSettingsFile settings, ShowMainWindow showMainWindow, QWidget *parent) {
  auto *dialog = new Form2(std::move(settings), std::move(showMainWindow), parent);
  dialog->Form_Load();
  dialog->show();
  return dialog;
}

void Form2::Form_Load() {
  PortState &state = portState();
  if (showMainWindow_) showMainWindow_();
  if (state.PortChanging != 1) {
    if (state.IniRewritten == 1 || settings_.read().isBlank()) {
      if (const auto error = settings_.write(QStringLiteral("0"))) tell(*error);
    }
  }
  state.PortChanging = 0;
}

void Form2::Option1_Click() { portState().PortKind = kKindRs232c; }

void Form2::Option2_Click() { portState().PortKind = kKindUsbConverter; }

void Form2::Command1_Click() {
  PortState &state = portState();
  state.PortChosen = 1;

  const QString text = ui_->Combo1->currentText();
  bool listed = false;
  for (int n = 1; n <= kMaxPortNumber && !listed; ++n) {
    if (text == QStringLiteral("Com %1").arg(n)) {
      state.PortNum = n;
      listed = true;
    }
  }
  if (!listed) tell(QStringLiteral("ポート番号を選択してください"));

  if (ui_->Check1->isChecked()) {
    const int kind = ui_->Option2->isChecked() ? kKindUsbConverter : kKindRs232c;
    if (const auto error = settings_.write(portCodeLine(state.PortNum, kind))) tell(*error);
  }

  if (ui_->Option1->isChecked()) state.PortKind = kKindRs232c;
  if (ui_->Option2->isChecked()) state.PortKind = kKindUsbConverter;

  confirmed_ = true;
  accept();
}

void Form2::closeEvent(QCloseEvent *event) {
  // Not QDialog's own handling: that would ask reject(), which refuses.
  if (confirmed_) {
    event->accept();
  } else {
    event->ignore();
  }
}

void Form2::keyPressEvent(QKeyEvent *event) {
  // Enter presses "決定" when the button has the focus (the button sees the
  // key itself); anywhere else, the combo box included, it does nothing.
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) return;
  QDialog::keyPressEvent(event);
}

void Form2::reject() {
  // Esc and the window system's close request end up here: only "決定" closes.
}

void Form2::tell(const QString &message) { OperatorDialogs::current().showMessage(this, message); }

void waitUntilPortChosen() {
  while (portState().PortChosen == 0) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

}  // namespace vf
