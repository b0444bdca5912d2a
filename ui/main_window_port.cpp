// The main window's serial port: the start-up that reads portnum.ini and opens
// the port, the port change command "ポート変更", and the events of MSComm1.

#include "settings/port_dialog.h"
#include "settings/port_settings.h"
#include "ui/main_window.h"
#include "ui/text_field.h"
#include "ui_form1.h"

namespace {

const QString kPortLost =
    QStringLiteral("シリアルポートが切断されました。「ポート変更」でポートを開き直してください");

}  // namespace

vf::PortSettingsFile Form1::settingsFile() const {
  if (!settingsFolder_) {
    settingsFolder_ = setup_.settingsFolder.isEmpty() ? vf::PortSettingsFile::forThisProgram().folder()
                                                      : setup_.settingsFolder;
  }
  return vf::PortSettingsFile(*settingsFolder_);
}

void Form1::Form_Load() {
  const vf::PortSettingsFile file = settingsFile();
  carryOut(portSetup_.startUp(file.exists(), file.read()));
}

void Form1::Command5_Click() { carryOut(portSetup_.changePort()); }

void Form1::carryOut(const vf::PortActions &actions, std::size_t from) {
  using Kind = vf::PortAction::Kind;
  for (std::size_t i = from; i < actions.size(); ++i) {
    const vf::PortAction &action = actions[i];
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
        showPortDialog();
        break;
      case Kind::RaiseDialog:
        if (portDialog_) {
          portDialog_->raise();
          portDialog_->activateWindow();
        }
        break;
      case Kind::StopAutoUpdate:
        Timer1.stop();
        ui_->Check1->setChecked(false);  // runs Check1_Click when it was ticked
        break;
      case Kind::ClosePort:
        // The rest once the last byte of what was sent has left.
        link_.closeWhenSent([this, actions, i] { carryOut(actions, i + 1); });
        return;
      case Kind::OpenPort: {
        const vf::PortOpenResult opened = link_.open(action.portNum, action.portKind);
        carryOut(portSetup_.portOpened(opened.open, vf::openFailureDetail(opened)));
        break;
      }
      case Kind::ShowStatus:
        ui_->Label13->setText(action.text);
        break;
    }
  }
}

void Form1::showPortDialog() {
  auto *dialog = new vf::Form2(this);
  dialog->setFont(font());
  connect(dialog, &vf::Form2::confirmed, this,
          [this](const vf::PortAnswer &answer) { carryOut(portSetup_.confirmed(answer)); });
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
// Events of the serial port

void Form1::MSComm1_OnComm(const vf::LinkEvent &event) {
  if (event.kind == vf::LinkEvent::Kind::Reply) {
    if (event.verdict.replyText) ui_->Text2->setFieldText(*event.verdict.replyText);
    // A cue reply that cannot be answered is not told: the port is open, and
    // a device that has gone away tells that itself.
    if (event.verdict.sendDataCue) link_.sendCommand(vf::CommandCode::DataCue);
  }

  // The device has gone away (a converter pulled out, the line hung up): the
  // link has closed the port, and the operator opens one again with
  // "ポート変更".
  if (event.deviceGone) {
    Timer1.stop();
    ui_->Label13->setText(vf::kPortClosedText);
  }

  if (!ui_->Check1->isChecked()) Timer1.stop();

  if (event.deviceGone) showMessage(kPortLost);
}
