#pragma once

#include "protocol/module_event.h"

#include <QString>

#include <vector>

namespace vf {

// The message the module is receiving: a message start, then a frame count,
// then the packets of frames 1 .. count in order, and the summary once the
// last announced packet has arrived. It reports the faults of the message as
// a whole and of a packet's place in it; each call appends its events to out,
// at the offset of the element that caused them.
class MessageTracker {
 public:
  using Events = std::vector<ModuleEvent>;

  // A message start command: a message still open ends there.
  void start(qint64 offset, Events &out);
  // A frame count command of 1 .. 16 frames.
  void frameCount(int frames, qint64 offset, Events &out);
  // A frame count command whose count is none of 1 .. 16: a message start
  // waiting for its count gets this as its count, and it is unusable.
  void badFrameCount(qint64 offset, Events &out);
  // A checked packet (checkPacket): where it stands in the message is
  // checked too, and the summary follows the last announced packet.
  void packet(decoded::Packet packet, qint64 offset, int length, Events &out);
  // Something other than the next part of the message arrived (why: "a data
  // cue command", "the line went quiet"): a message still open is reported
  // as cut short.
  void interrupt(const QString &why, qint64 offset, Events &out);

 private:
  enum class State { Idle, AwaitingFrameCount, Receiving };

  State state_ = State::Idle;
  int announced_ = 0;
  int nextFrame_ = 1;
  int received_ = 0;
  int speed_ = -1;
  qint64 offset_ = 0;  // where the message started
  bool ok_ = true;
  QString text_;
};

}  // namespace vf
