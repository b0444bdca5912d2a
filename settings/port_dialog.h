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
// and destroyed when confirmed. It decides nothing itself: "決定" hands the
// answer back (confirmed), then the dialog closes (finished). "決定" is the
// only way to close it: it has no close box, Esc does nothing and a close
// request from the window system is refused, so whoever waits for the answer
// is never left waiting.
class Form2 : public QDialog {
  Q_OBJECT
 public:
  explicit Form2(QWidget *parent = nullptr);
  ~Form2() override;

  void Option1_Click();
  void Option2_Click();
  // "決定".
  void Command1_Click();

  // Esc and every other way to cancel: the dialog stays open.
  void reject() override;

 signals:
  void optionClicked(vf::ConnectionKind kind);
  void confirmed(const vf::PortAnswer &answer);

 protected:
  void closeEvent(QCloseEvent *event) override;
  void keyPressEvent(QKeyEvent *event) override;

 private:
  std::unique_ptr<Ui::Form2> ui_;
  bool confirmed_ = false;
};

}  // namespace vf
