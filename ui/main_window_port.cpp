// The main window's serial port: the start-up that reads portnum.ini and opens
// the port, the port change command "ポート変更", and the events of MSComm1
// (the module's cue reply, and a device that goes away).

#include "link/port_opening.h"
#include "settings/port_dialog.h"
#include "ui/main_window.h"
#include "ui/operator_dialogs.h"
#include "ui/text_field.h"
#include "ui_form1.h"

namespace {

const QString kCreatingSettings = QStringLiteral("初期設定ファイル portnum.ini を作成します");
const QString kPortDidNotOpen = QStringLiteral("ポートが開けませんでした");
const QString kPortLost =
    QStringLiteral("シリアルポートが切断されました。「ポート変更」でポートを開き直してください");

}  // namespace

vf::PortSettingsFile Form1::settings() {
  if (!settings_) settings_ = vf::PortSettingsFile::forThisProgram();
  return *settings_;
}

// ---------------------------------------------------------------------------
// Start-up and port change

void Form1::Form_Load() {
  vf::PortState &state = vf::portState();
  const vf::PortSettingsFile file = settings();

  state.PortChanging = 0;
  state.IniRewritten = 0;

  bool writeDefault = false;
  if (!file.exists()) {
    showMessage(kCreatingSettings);
    writeDefault = true;  // rewriting the default creates the file
  }

  for (;;) {
    if (writeDefault) {
      // A file that cannot be written is not reported here: IniRewritten
      // makes the port selection dialog come next, and its load writes the
      // same file at once and tells the operator the path and the reason.
      // The dialog is shown whether or not the write worked, so a stored
      // port that does not open can never be tried again and again.
      (void)file.write(QStringLiteral("1"));
      state.PortChanging = 0;
      state.IniRewritten = 1;
    }
    // From here on every way back leads through the default again.
    writeDefault = true;

    const vf::StoredPortLine line = file.read();
    if (state.IniRewritten == 1 || line.asksForPort()) {
      showPortDialogAndWait();
    } else {
      const vf::PortChoice stored = vf::decodePortCode(line.code);
      state.PortNum = stored.portNum;
      state.PortKind = stored.portKind;
    }
    state.PortChosen = 1;
    state.IniRewritten = 0;

    if (state.PortNum == 0) continue;  // no port chosen: the dialog said so
    if (!openPortOfPortState()) {
      showMessage(kPortDidNotOpen);
      continue;
    }
    ui_->Label13->setText(vf::openPortStatusText(state.PortNum, state.PortKind));
    return;
  }
}

void Form1::Command5_Click() {
  // One port selection at a time: while the dialog waits (at start-up or
  // from an earlier click), this button only brings it to the front.
  if (portDialog_ && portDialog_->isVisible()) {
    portDialog_->raise();
    portDialog_->activateWindow();
    return;
  }

  vf::PortState &state = vf::portState();
  for (;;) {
    Timer1.stop();
    ui_->Check1->setChecked(false);  // runs Check1_Click when it was ticked
    state.PortChanging = 1;
    if (MSComm1.isOpen()) MSComm1.close();
    showPortDialogAndWait();
    if (openPortOfPortState()) break;
    showMessage(kPortDidNotOpen);
  }
  ui_->Label13->setText(vf::openPortStatusText(state.PortNum, state.PortKind));
}

void Form1::showPortDialogAndWait() {
  vf::portState().PortChosen = 0;
  portDialog_ = vf::Form2::showNew(settings(), [this] { show(); }, this);
  vf::waitUntilPortChosen();
}

bool Form1::openPortOfPortState() {
  const vf::PortState &state = vf::portState();
  const QString device = deviceNamer_ ? deviceNamer_(state.PortNum, state.PortKind) : QString();
  return vf::openSerialPort(MSComm1, state.PortNum, state.PortKind, device).open;
}

// ---------------------------------------------------------------------------
// Events of the serial port

void Form1::connectPortEvents() { setReceiveTiming({}); }

void Form1::setReceiveTiming(vf::ReceiveBurstGatherer::Timing timing) {
  gatherer_.reset();
  // Every event is handled from the event loop, after whatever handler is
  // running: a write that finds the device gone reports it at once, and the
  // event must not close the port under a convert-and-send that is still
  // writing.
  gatherer_ = std::make_unique<vf::ReceiveBurstGatherer>(
      MSComm1,
      [this](const vf::PortEvent &event) {
        QMetaObject::invokeMethod(this, [this, event] { MSComm1_OnComm(event); }, Qt::QueuedConnection);
      },
      timing);
}

void Form1::MSComm1_OnComm(const vf::PortEvent &event) {
  if (event.kind == vf::PortEvent::Kind::Receive) {
    const vf::ReceiveVerdict verdict = vf::judgeReceivedBytes(event.bytes, vf::portState().PortKind);
    if (verdict.text2) ui_->Text2->setFieldText(*verdict.text2);
    // A cue reply that cannot be answered is not reported: the port is
    // open, and a device that has gone away reports that itself.
    if (verdict.sendDataCue) SendControlCommand(vf::CommandCode::DataCue);
  }

  // The device has gone away (a converter pulled out, the line hung up):
  // the port is of no further use. It is closed, which also ends the port's
  // own stream of errors, and the operator reopens one with "ポート変更".
  // A port that is already closed again (a port change has begun) has been
  // dealt with.
  const bool lost = event.deviceGone && MSComm1.isOpen();
  if (lost) {
    MSComm1.close();
    Timer1.stop();
    ui_->Label13->setText(vf::kPortClosedText);
  }

  if (!ui_->Check1->isChecked()) Timer1.stop();

  if (lost) showMessage(kPortLost);
}
