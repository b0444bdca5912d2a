#include "settings/port_setup.h"

namespace vf {

using Kind = PortAction::Kind;

namespace {
PortAction act(Kind kind, const QString &text = {}, bool quiet = false) { return {kind, text, quiet}; }
}  // namespace

QString openPortStatusText(int portNum, ConnectionKind kind) {
  return QStringLiteral("オープン CommPort=") + QString::number(portNum) + QStringLiteral(" Settings=") +
         kLineSettings + u' ' +
         (kind == ConnectionKind::UsbConverter ? QStringLiteral("USB変換") : QStringLiteral("RS-232C"));
}

PortActions PortSetup::startUp(bool fileExists, const StoredPortLine &line) {
  PortActions actions;
  startLine_ = line;
  if (!fileExists) {
    actions.push_back(act(Kind::ShowMessage, kCreatingFile));
    rewriteDefault(actions);  // creates the file
    return actions;
  }
  if (line.asksForPort()) {
    showDialog(actions, DialogCause::StoredLine);
    return actions;
  }
  chosen_ = decodePortCode(line.code);
  open(actions);
  return actions;
}

void PortSetup::rewriteDefault(PortActions &actions) {
  // A file that cannot be written is not told here: the dialog comes next,
  // and its load writes the same file at once and tells the path and the
  // reason. The dialog is shown whether or not the write worked, so a stored
  // port that does not open is never tried again and again.
  actions.push_back(act(Kind::WriteFile, QStringLiteral("1"), true));
  showDialog(actions, DialogCause::DefaultWritten);
}

void PortSetup::showDialog(PortActions &actions, DialogCause cause) {
  dialogOpen_ = true;
  // The dialog's load: the main window first, then the file.
  actions.push_back(act(Kind::ShowMainWindow));
  if (cause == DialogCause::DefaultWritten || (cause == DialogCause::StoredLine && startLine_.isBlank())) {
    actions.push_back(act(Kind::WriteFile, QStringLiteral("0")));
  }
  actions.push_back(act(Kind::ShowDialog));
}

PortActions PortSetup::changePort() {
  PortActions actions;
  // One port selection at a time: while a dialog waits (at start-up or from
  // an earlier click) the button only brings it to the front.
  if (dialogOpen_) {
    actions.push_back(act(Kind::RaiseDialog));
    return actions;
  }
  beginChange(actions);
  return actions;
}

void PortSetup::beginChange(PortActions &actions) {
  actions.push_back(act(Kind::StopAutoUpdate));
  actions.push_back(act(Kind::ClosePort));
  showDialog(actions, DialogCause::PortChange);
}

std::optional<int> listedPortNumber(const QString &entry) {
  for (int n = 1; n <= kMaxPortNumber; ++n)
    if (entry == QStringLiteral("Com %1").arg(n)) return n;
  return std::nullopt;
}

PortActions PortSetup::confirmed(const PortAnswer &answer) {
  PortActions actions;
  if (!answer.portNum) {
    // Nobody chose a port: the previous one stands, number and kind, and the
    // file keeps what it holds.
    actions.push_back(act(Kind::ShowMessage, kChoosePort));
    return actions;
  }
  chosen_ = PortChoice{*answer.portNum, answer.kind};
  if (answer.keep) actions.push_back(act(Kind::WriteFile, portCodeLine(chosen_->portNum, chosen_->kind)));
  return actions;
}

PortActions PortSetup::noAnswer() {
  PortActions actions;
  dialogOpen_ = false;
  if (lastOpened_) {
    chosen_ = lastOpened_;
    open(actions);
  } else {
    // Start-up without a port: the window works, sending says the port is not open.
    actions.push_back(act(Kind::ShowStatus, kPortClosedText));
    actions.push_back(act(Kind::ShowMainWindow));
  }
  return actions;
}

PortActions PortSetup::dialogClosed() {
  PortActions actions;
  dialogOpen_ = false;
  if (!started_) {
    if (!chosen_) {
      rewriteDefault(actions);  // no port chosen: the dialog has said so
      return actions;
    }
  }
  open(actions);
  return actions;
}

void PortSetup::open(PortActions &actions) const {
  const PortChoice port = chosen_.value_or(PortChoice{});
  actions.push_back({Kind::OpenPort, {}, false, port.portNum, port.kind});
}

PortActions PortSetup::portOpened(bool open, const QString &failure) {
  PortActions actions;
  if (open) {
    lastOpened_ = chosen_.value_or(PortChoice{});
    actions.push_back(act(Kind::ShowStatus, openPortStatusText(lastOpened_->portNum, lastOpened_->kind)));
    if (!started_) actions.push_back(act(Kind::ShowMainWindow));
    started_ = true;
    return actions;
  }
  actions.push_back(act(Kind::ShowMessage, failure.isEmpty() ? kPortDidNotOpen : kPortDidNotOpen + u'\n' + failure));
  if (started_) {
    beginChange(actions);
  } else {
    rewriteDefault(actions);
  }
  return actions;
}

}  // namespace vf
