// The main window's serial port: the start-up that reads portnum.ini and opens
// the port, the port change command "ポート変更", and a device that has gone.

#include "settings/port_dialog.h"
#include "settings/port_settings.h"
#include "line_words/line_words.h"
#include "ui/main_window.h"
#include "ui/text_field.h"
#include "ui_main_window.h"

namespace vf {

namespace {

const QString kDeviceGone = QStringLiteral("切断されました");
const QString kPortLost =
    QStringLiteral("シリアルポートが切断されました。「ポート変更」でポートを開き直してください");

}  // namespace

PortSettingsFile MainWindow::settingsFile() const {
  if (!settingsFolder_) {
    settingsFolder_ = setup_.settingsFolder.isEmpty() ? PortSettingsFile::forThisProgram().folder()
                                                      : setup_.settingsFolder;
  }
  return PortSettingsFile(*settingsFolder_);
}

void MainWindow::startUp() {
  const PortSettingsFile file = settingsFile();
  carryOut(portSetup_.startUp(file.exists(), file.read()));
}

void MainWindow::changePort() { carryOut(portSetup_.changePort()); }

void MainWindow::carryOut(const PortActions &actions, std::size_t from) {
  using Kind = PortAction::Kind;
  for (std::size_t i = from; i < actions.size(); ++i) {
    const PortAction &action = actions[i];
    switch (action.kind) {
      case Kind::ShowMessage:
        showMessage(action.text);
        break;
      case Kind::WriteFile:
        if (const auto error = settingsFile().write(action.text); error && !action.quiet) showMessage(*error);
        break;
      case Kind::ShowMainWindow:
        show();
        break;
      case Kind::ShowDialog:
        showPortDialog({action.portNum, action.portKind});
        break;
      case Kind::RaiseDialog:
        if (portDialog_) {
          portDialog_->raise();
          portDialog_->activateWindow();
        }
        break;
      case Kind::StopAutoUpdate:
        session_.stopUpdates();
        ui_->autoUpdateCheck->setChecked(false);
        break;
      case Kind::ClosePort:
        // The rest once the last byte of what was sent has left.
        link_.closeWhenSent([this, actions, i] { carryOut(actions, i + 1); });
        return;
      case Kind::OpenPort: {
        const PortOpenResult opened = session_.open(action.portNum, action.portKind);
        carryOut(portSetup_.portOpened(opened.open, openFailureText(opened)));
        break;
      }
      case Kind::ShowStatus:
        ui_->portStatusLabel->setText(action.text);
        break;
    }
  }
}

void MainWindow::showPortDialog(PortChoice shown) {
  auto *dialog = new PortDialog(shown, this);
  dialog->setFont(font());
  connect(dialog, &PortDialog::confirmed, this,
          [this](const PortAnswer &answer) { carryOut(portSetup_.confirmed(answer)); });
  // What follows the answer waits until the dialog has closed; closed any
  // other way than by "決定", it gave none.
  connect(
      dialog, &QDialog::finished, this,
      [this](int result) { carryOut(result == QDialog::Accepted ? portSetup_.dialogClosed() : portSetup_.noAnswer()); },
      Qt::QueuedConnection);
  portDialog_ = dialog;
  dialog->show();
}

// ---------------------------------------------------------------------------
// A lost device

void MainWindow::showDeviceLost() {
  // A converter pulled out, the line hung up: the session has stopped the
  // ticks, and the operator opens a port again with "ポート変更".
  ui_->portStatusLabel->setText(closedPortStatusText(kDeviceGone));
  showMessage(kPortLost);
}

}  // namespace vf
