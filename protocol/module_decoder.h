#pragma once

#include "protocol/line_framing.h"
#include "protocol/message_tracker.h"
#include "protocol/module_event.h"

#include <QByteArrayView>

#include <vector>

namespace vf {

// Reads the module's line the way the module does: fed the byte stream in
// pieces of any size, it recognises the seven-byte control commands and the
// 262-byte message packets, checks every part of them and of the message
// they make up, and reports what it found as events. The events do not depend
// on how the stream was cut into pieces.
//
// Three parts do the work: LineFraming finds the commands and packets and
// resynchronises after bytes that start nothing, checkPacket checks one
// packet, and MessageTracker follows the message they make up. The decoder
// reads the control commands and ties the three together.
//
// Every fault is reported, never silently skipped; a run of bytes that start
// nothing is one UnexpectedBytes fault. Memory stays bounded whatever
// arrives: at most kLookahead bytes are held.
class ModuleDecoder {
 public:
  static constexpr int kLookahead = LineFraming::kLookahead;

  std::vector<ModuleEvent> feed(QByteArrayView bytes);

  // The line has gone quiet: whatever is held is judged as it stands (a packet
  // cut short, a command without its end, skipped bytes, a message whose
  // packets never came) and reported.
  std::vector<ModuleEvent> flush();

  qsizetype pendingBytes() const { return framing_.pendingBytes(); }

 private:
  LineFraming framing_;
  MessageTracker message_;
};

}  // namespace vf
