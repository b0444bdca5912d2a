#pragma once

#include "settings/port_settings.h"

#include <QDialog>

#include <functional>
#include <memory>

namespace Ui {
class Form2;
}

namespace vf {

// "ポート選択": the operator chooses the port number and the kind of
// connection and may keep the choice in portnum.ini. Non-modal; created
// afresh every time and destroyed when confirmed. "決定" is the only way to
// close it: it has no close box, Esc does nothing and a close request from
// the window system is refused, so an opener waiting for PortChosen is never
// left waiting.
class Form2 : public QDialog {
  Q_OBJECT
 public:
  // Makes the main window visible (the dialog's load shows it first).
  using ShowMainWindow = std::function<void()>;

  Form2(PortSettingsFile settings, ShowMainWindow showMainWindow, QWidget *parent = nullptr);
  ~Form2() override;

  // Creates the dialog, runs its load and shows it without blocking. The
  // dialog deletes itself when it is confirmed.
  static Form2 *showNew(PortSettingsFile settings, ShowMainWindow showMainWindow, QWidget *parent = nullptr);

  // The load: shows the main window; unless opened by "ポート変更", replaces
  // a freshly written or blank portnum.ini with "0"; clears PortChanging.
  void Form_Load();
  void Option1_Click();
  void Option2_Click();
  // "決定".
  void Command1_Click();

  // Esc and every other way to cancel: the dialog stays open.
  void reject() override;

 protected:
  void closeEvent(QCloseEvent *event) override;
  void keyPressEvent(QKeyEvent *event) override;

 private:
  void tell(const QString &message);

  std::unique_ptr<Ui::Form2> ui_;
  PortSettingsFile settings_;
  ShowMainWindow showMainWindow_;
  bool confirmed_ = false;
};

// Processes window events until the port selection dialog has been confirmed
// (PortChosen is no longer 0). The dialog's handlers run inside this wait.
void waitUntilPortChosen();

}  // namespace vf
