#pragma once

#include "settings/port_setup.h"
#include "settings/window_frame.h"

#include <QDialog>

#include <memory>

namespace vf {

namespace Ui {
class PortDialog;
}

// "ポート選択": the operator chooses the port number and the kind of
// connection and may keep the choice. It opens on the port it is given (the
// one in use), modal to its parent window without blocking the event loop;
// created afresh every time and destroyed when it closes. It decides nothing itself: "決定" (or Enter,
// also in the port box) hands the answer back (confirmed) and the dialog
// closes with QDialog::Accepted; Esc, the close box and the window system's
// close request close it with QDialog::Rejected, which is no answer.
class PortDialog : public QDialog {
  Q_OBJECT
 public:
  explicit PortDialog(PortChoice shown, QWidget *parent = nullptr);
  ~PortDialog() override;
  // Shown wide enough for its title beside the frame's buttons, and centred
  // over the main window by its frame (once more when the window system has framed it).
  void setVisible(bool visible) override;

 protected:
  void moveEvent(QMoveEvent *event) override;
  bool eventFilter(QObject *watched, QEvent *event) override;

 signals:
  void confirmed(const vf::PortAnswer &answer);

 private slots:
  // "決定" (or Enter): hands the answer back once and closes.
  void confirm();

 private:
  void fitTitleAndCentre();
  void centreOverParent();

  std::unique_ptr<Ui::PortDialog> ui_;
  FramePlacement placement_;  // where its frame was centred last
  bool confirmed_ = false;
};

}  // namespace vf
