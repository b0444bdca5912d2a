#include "settings/port_dialog.h"

#include "settings/ui_port_dialog.h"

namespace vf {

PortDialog::PortDialog(PortChoice shown, QWidget *parent)
    : QDialog(parent), ui_(std::make_unique<Ui::PortDialog>()) {
  ui_->setupUi(this);
  setWindowModality(Qt::WindowModal);
  // A title and a close box; no minimise or maximise button.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  setFixedSize(size());
  setAttribute(Qt::WA_DeleteOnClose);
  // The text is compared exactly: no completion that would turn "com 5" or
  // "C" into a listed entry behind the operator's back, and Enter in the box
  // adds nothing to the list: it presses "決定", the default button.
  ui_->portNumberBox->setCompleter(nullptr);
  ui_->portNumberBox->setInsertPolicy(QComboBox::NoInsert);
  ui_->confirmButton->setDefault(true);
  connect(ui_->confirmButton, &QPushButton::clicked, this, &PortDialog::confirm);
  if (shown.portNum >= 1 && shown.portNum <= kMaxPortNumber) ui_->portNumberBox->setCurrentIndex(shown.portNum - 1);
  (shown.kind == ConnectionKind::UsbConverter ? ui_->usbConverterOption : ui_->rs232cOption)->setChecked(true);
  ui_->portNumberBox->setFocus();
}

PortDialog::~PortDialog() = default;

void PortDialog::confirm() {
  if (confirmed_) return;
  confirmed_ = true;
  emit confirmed({listedPortNumber(ui_->portNumberBox->currentText()),
                  ui_->usbConverterOption->isChecked() ? ConnectionKind::UsbConverter : ConnectionKind::Rs232c,
                  ui_->keepSettingCheck->isChecked()});
  accept();
}

}  // namespace vf
