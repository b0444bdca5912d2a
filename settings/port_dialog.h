#pragma once

#include "settings/port_setup.h"

#include <QDialog>

#include <memory>

namespace Ui {
class Form2;
}

namespace vf {

// "ポート選択": the operator chooses the port number and the kind of
// connection and may keep the choice. Non-modal; created afresh every time
// and destroyed when it closes. It decides nothing itself: "決定" (or Enter,
// also in the port box) hands the answer back (confirmed) and the dialog
// closes with QDialog::Accepted; Esc, the close box and the window system's
// close request close it with QDialog::Rejected, which is no answer.
class Form2 : public QDialog {
  Q_OBJECT
 public:
  explicit Form2(QWidget *parent = nullptr);
  ~Form2() override;

  // "決定".
  void Command1_Click();

 signals:
  void confirmed(const vf::PortAnswer &answer);

 private:
  std::unique_ptr<::Ui::Form2> ui_;
  bool confirmed_ = false;
};

}  // namespace vf
