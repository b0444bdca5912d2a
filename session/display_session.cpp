#include "session/display_session.h"

#include <utility>

namespace vf {

DisplaySession::DisplaySession(ModuleLink::DeviceNamer namer, Options options, QObject *parent)
    : QObject(parent), options_(options), link_(std::move(namer), this), tick_(this), reopen_(this) {
  tick_.setObjectName(QStringLiteral("updateTick"));
  tick_.setSingleShot(true);
  tick_.setTimerType(Qt::PreciseTimer);
  tick_.setInterval(kTickMs);
  connect(&tick_, &QTimer::timeout, this, &DisplaySession::tick);
  reopen_.setSingleShot(true);
  connect(&reopen_, &QTimer::timeout, this, &DisplaySession::reopen);
  link_.setPaced(options_.holdUpdatesForLine);
  connect(&link_, &ModuleLink::event, this, &DisplaySession::linkEvent);
}

PortOpenResult DisplaySession::open(int portNum, ConnectionKind kind) {
  portNum_ = portNum;
  kind_ = kind;
  reopen_.stop();
  const PortOpenResult result = link_.open(portNum, kind);
  if (!result.open && options_.reopenMs > 0 && !ended_) reopen_.start(options_.reopenMs);
  return result;
}

void DisplaySession::reopen() {
  emit opened(open(portNum_, kind_));
}

// ---------------------------------------------------------------------------
// Auto update and the ticks

void DisplaySession::setAutoUpdate(bool on) {
  autoUpdate_ = on;
  if (!on) stopUpdates();
}

void DisplaySession::applyAutoUpdate() {
  if (autoUpdate_)
    startTicks();
  else
    stopUpdates();
}

void DisplaySession::startTicks() {
  // Starting ticks that run already leaves their countdown alone.
  if (!tick_.isActive() && !ended_) tick_.start();
}

void DisplaySession::stopUpdates() {
  tick_.stop();
  updateWaiting_ = false;
}

void DisplaySession::tick() {
  // The next tick is counted from the start of this one: a full 20 ms after
  // it however late this one came, and 50 a second when nothing delays them.
  tick_.start();
  // Not behind a line that has not taken what it has: one update waits.
  if (options_.holdUpdatesForLine && (messageOnLine_ || link_.lineBusy())) {
    updateWaiting_ = true;
    awaitLine();
    return;
  }
  // No port to send to (closed, or closed for a port change): the updates
  // stop quietly; auto update or the next message starts them again.
  if (!link_.sendCommand(CommandCode::Update)) stopUpdates();
}

// ---------------------------------------------------------------------------
// The message

BuiltMessage DisplaySession::prepare(QStringView text, int speedOption) {
  applyAutoUpdate();
  return buildMessage(text, speedOption);
}

std::optional<WriteFailure> DisplaySession::send(const BuiltMessage &message) {
  std::optional<WriteFailure> failure;
  if (!link_.sendMessage(message.writes)) failure = link_.writeFailure();
  // The updates follow whether auto update is on or not.
  startTicks();
  if (!failure) {
    messageOnLine_ = true;
    awaitLine();
  }
  return failure;
}

void DisplaySession::awaitLine() {
  if (awaitingLine_) return;
  awaitingLine_ = true;
  link_.whenSent([this] {
    awaitingLine_ = false;
    lineFree();
  });
}

void DisplaySession::lineFree() {
  if (link_.isOpen() && link_.lineBusy()) {
    // Its line time and a second have passed and the line has not taken it:
    // nothing more is written until it has.
    if (!std::exchange(stuck_, true)) emit lineStuck();
    awaitLine();
    return;
  }
  stuck_ = false;
  if (!link_.isOpen()) updateWaiting_ = false;
  if (std::exchange(messageOnLine_, false)) emit messageDone(link_.isOpen());
  // What was told may have put the next message on the line; the update that
  // waited goes only to a line that is free.
  if (!messageOnLine_ && std::exchange(updateWaiting_, false) && tick_.isActive())
    link_.sendCommand(CommandCode::Update);
}

void DisplaySession::end() {
  ended_ = true;
  stopUpdates();
  reopen_.stop();
}

// ---------------------------------------------------------------------------
// What the port reports

void DisplaySession::linkEvent(const LinkEvent &event) {
  if (ended_) return;
  if (event.kind == LinkEvent::Kind::Reply) {
    if (event.verdict.replyText) emit replyShown(*event.verdict.replyText);
    // A cue reply that cannot be answered is not told: the port is open, and
    // a device that has gone away tells that itself.
    if (event.verdict.sendDataCue && link_.sendCommand(CommandCode::DataCue)) emit cueAnswered();
  }
  if (!autoUpdate_) stopUpdates();
  if (event.deviceGone) {
    stopUpdates();
    if (options_.reopenMs > 0) reopen_.start(options_.reopenMs);
    emit deviceLost(event.error);
  }
}

}  // namespace vf
