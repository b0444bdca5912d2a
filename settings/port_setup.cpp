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

QString closedPortStatusText(const QString &why) {
  return why.isEmpty() ? kPortClosedText : kPortClosedText + u'（' + why + u'）';
}

namespace {
const QString kChoosing = QStringLiteral("ポート選択中");
const QString kChanging = QStringLiteral("ポート変更中");
const QString kNoneChosen = QStringLiteral("ポート未選択");
const QString kDidNotOpen = QStringLiteral("開けませんでした");
}  // namespace

PortActions PortSetup::startUp(bool fileExists, const StoredPortLine &line) {
  PortActions actions;
  startLine_ = line;
  if (!fileExists) {
    actions.push_back(act(Kind::ShowMessage, kCreatingFile));
    rewriteDefault(actions, kChoosing);  // creates the file
    return actions;
  }
  if (line.asksForPort()) {
    showDialog(actions, DialogCause::StoredLine, kChoosing);
    return actions;
  }
  chosen_ = decodePortCode(line.code);
  open(actions);
  return actions;
}

void PortSetup::rewriteDefault(PortActions &actions, const QString &why) {
  // A file that cannot be written is not told here: the dialog comes next,
  // and its load writes the same file at once and tells the path and the
  // reason. The dialog is shown whether or not the write worked, so a stored
  // port that does not open is never tried again and again.
  actions.push_back(act(Kind::WriteFile, QStringLiteral("1"), true));
  showDialog(actions, DialogCause::DefaultWritten, why);
}

void PortSetup::showDialog(PortActions &actions, DialogCause cause, const QString &why) {
  dialogOpen_ = true;
  // The dialog's load: the main window first, then the file.
  actions.push_back(act(Kind::ShowMainWindow));
  if (cause == DialogCause::DefaultWritten || (cause == DialogCause::StoredLine && startLine_.isBlank())) {
    actions.push_back(act(Kind::WriteFile, QStringLiteral("0")));
  }
  actions.push_back(act(Kind::ShowStatus, closedPortStatusText(why)));
  const PortChoice shown = chosen_.value_or(PortChoice{1, ConnectionKind::Rs232c});
  actions.push_back({Kind::ShowDialog, {}, false, shown.portNum, shown.kind});
}

PortActions PortSetup::changePort() {
  PortActions actions;
  // One port selection at a time: while a dialog waits (at start-up or from
  // an earlier click) the button only brings it to the front.
  if (dialogOpen_) {
    actions.push_back(act(Kind::RaiseDialog));
    return actions;
  }
  beginChange(actions, kChanging);
  return actions;
}

void PortSetup::beginChange(PortActions &actions, const QString &why) {
  actions.push_back(act(Kind::StopAutoUpdate));
  actions.push_back(act(Kind::ClosePort));
  showDialog(actions, DialogCause::PortChange, why);
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
    // file keeps what it holds; the dialog asks again once it has closed.
    refused_ = true;
    actions.push_back(act(Kind::ShowMessage, kChoosePort));
    return actions;
  }
  refused_ = false;
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
    actions.push_back(act(Kind::ShowStatus, closedPortStatusText(kNoneChosen)));
    actions.push_back(act(Kind::ShowMainWindow));
  }
  return actions;
}

PortActions PortSetup::dialogClosed() {
  PortActions actions;
  dialogOpen_ = false;
  if (refused_) {
    // The dialog has said so; it asks again. At start-up without a port as
    // on a first start; otherwise the file is left as it is.
    refused_ = false;
    if (!started_ && !chosen_) {
      rewriteDefault(actions, kChoosing);
    } else {
      showDialog(actions, DialogCause::PortChange, started_ ? kChanging : kChoosing);
    }
    return actions;
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
    beginChange(actions, kDidNotOpen);
  } else {
    rewriteDefault(actions, kDidNotOpen);
  }
  return actions;
}

}  // namespace vf
