#include "settings/port_dialog.h"

#include "settings/ui_form2.h"

namespace vf {

Form2::Form2(QWidget *parent) : QDialog(parent), ui_(std::make_unique<Ui::Form2>()) {
  ui_->setupUi(this);
  // A title and a close box; no minimise or maximise button.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  setFixedSize(size());
  setAttribute(Qt::WA_DeleteOnClose);
  // The text is compared exactly: no completion that would turn "com 5" or
  // "C" into a listed entry behind the operator's back, and Enter in the box
  // adds nothing to the list: it presses "決定", the default button.
  ui_->Combo1->setCompleter(nullptr);
  ui_->Combo1->setInsertPolicy(QComboBox::NoInsert);
  ui_->Command1->setDefault(true);
  connect(ui_->Command1, &QPushButton::clicked, this, &Form2::Command1_Click);
}

Form2::~Form2() = default;

void Form2::Command1_Click() {
  if (confirmed_) return;
  confirmed_ = true;
  emit confirmed({listedPortNumber(ui_->Combo1->currentText()),
                  ui_->Option2->isChecked() ? ConnectionKind::UsbConverter : ConnectionKind::Rs232c,
                  ui_->Check1->isChecked()});
  accept();
}

}  // namespace vf
