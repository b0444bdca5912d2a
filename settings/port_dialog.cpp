#include "settings/port_dialog.h"

#include "settings/ui_form2.h"

#include <QCloseEvent>
#include <QKeyEvent>

namespace vf {

Form2::Form2(QWidget *parent) : QDialog(parent), ui_(std::make_unique<Ui::Form2>()) {
  ui_->setupUi(this);
  // A title and nothing else: no close box, no minimise or maximise button.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  setFixedSize(size());
  setAttribute(Qt::WA_DeleteOnClose);
  // The text is compared exactly: no completion that would turn "com 5" or
  // "C" into a listed entry behind the operator's back.
  ui_->Combo1->setCompleter(nullptr);
  connect(ui_->Option1, &QRadioButton::clicked, this, &Form2::Option1_Click);
  connect(ui_->Option2, &QRadioButton::clicked, this, &Form2::Option2_Click);
  connect(ui_->Command1, &QPushButton::clicked, this, &Form2::Command1_Click);
}

Form2::~Form2() = default;

void Form2::Option1_Click() { emit optionClicked(ConnectionKind::Rs232c); }

void Form2::Option2_Click() { emit optionClicked(ConnectionKind::UsbConverter); }

void Form2::Command1_Click() {
  if (confirmed_) return;
  confirmed_ = true;
  emit confirmed({ui_->Combo1->currentText(),
                  ui_->Option2->isChecked() ? ConnectionKind::UsbConverter : ConnectionKind::Rs232c,
                  ui_->Check1->isChecked()});
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

}  // namespace vf
