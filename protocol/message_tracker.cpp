#include "protocol/message_tracker.h"

#include "protocol/control_command.h"

namespace vf {
namespace {

ModuleEvent fault(qint64 offset, LineFault kind, const QString &detail) {
  return {offset, 0, decoded::Fault{{kind, detail}}};
}

}  // namespace

void MessageTracker::interrupt(const QString &why, qint64 offset, Events &out) {
  if (state_ == State::AwaitingFrameCount) {
    out.push_back(fault(offset, LineFault::MissingFrameCount,
                        QStringLiteral("the message start at offset %1 was followed by %2, not by a frame count")
                            .arg(offset_)
                            .arg(why)));
  } else if (state_ == State::Receiving) {
    out.push_back(fault(offset, LineFault::IncompleteMessage,
                        QStringLiteral("%1 of %2 announced packet(s) arrived before %3").arg(received_).arg(announced_).arg(why)));
  }
  state_ = State::Idle;
}

void MessageTracker::start(qint64 offset, Events &out) {
  interrupt(QStringLiteral("a new message start"), offset, out);
  out.push_back({offset, kControlCommandSize, decoded::MessageStart{}});
  state_ = State::AwaitingFrameCount;
  offset_ = offset;
}

void MessageTracker::badFrameCount(qint64 offset, Events &out) {
  if (state_ == State::Receiving) interrupt(QStringLiteral("a malformed frame count"), offset, out);
  state_ = State::Idle;
}

void MessageTracker::frameCount(int frames, qint64 offset, Events &out) {
  const bool afterMessageStart = state_ == State::AwaitingFrameCount;
  if (state_ == State::Receiving) interrupt(QStringLiteral("a new frame count"), offset, out);
  out.push_back({offset, kControlCommandSize, decoded::FrameCount{frames}});
  if (!afterMessageStart) {
    out.push_back(fault(offset, LineFault::FrameCountWithoutMessageStart,
                        QStringLiteral("frame count %1 arrived without a message start before it").arg(frames)));
    offset_ = offset;
  }
  state_ = State::Receiving;
  announced_ = frames;
  nextFrame_ = 1;
  received_ = 0;
  speed_ = -1;
  ok_ = afterMessageStart;
  text_.clear();
}

void MessageTracker::packet(decoded::Packet p, qint64 offset, int length, Events &out) {
  auto fault = [&](LineFault kind, const QString &detail) { p.faults.push_back({kind, detail}); };
  switch (state_) {
    case State::Receiving:
      if (p.frame != nextFrame_) {
        fault(LineFault::FrameOutOfOrder, p.frame > announced_
                                              ? QStringLiteral("frame %1 is beyond the %2 announced").arg(p.frame).arg(announced_)
                                              : QStringLiteral("frame %1 arrived where frame %2 was due").arg(p.frame).arg(nextFrame_));
      }
      break;
    case State::AwaitingFrameCount:
      interrupt(QStringLiteral("a packet"), offset, out);
      fault(LineFault::PacketWithoutFrameCount, QStringLiteral("frame %1 was not announced by a frame count").arg(p.frame));
      break;
    case State::Idle:
      fault(LineFault::PacketWithoutFrameCount, QStringLiteral("frame %1 arrived with no message announced").arg(p.frame));
      break;
  }
  p.ok = p.faults.empty();

  if (state_ != State::Receiving) {
    out.push_back({offset, length, std::move(p)});
    return;
  }
  ++received_;
  text_ += p.text;
  ok_ = ok_ && p.ok;
  if (p.frame == 1 && p.speed >= 0) speed_ = p.speed;
  if (p.frame >= nextFrame_) nextFrame_ = p.frame + 1;
  const bool last = p.frame >= announced_;
  out.push_back({offset, length, std::move(p)});
  if (last) {
    out.push_back({offset_, 0, decoded::Message{announced_, received_, speed_, ok_ && received_ == announced_, text_}});
    state_ = State::Idle;
    text_.clear();
  }
}

}  // namespace vf
