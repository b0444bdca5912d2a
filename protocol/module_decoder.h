#pragma once

#include "protocol/control_command.h"
#include "protocol/message_tracker.h"
#include "protocol/module_event.h"
#include "protocol/packet.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

namespace vf {

// Reads the module's line the way the module does: fed the byte stream in
// pieces of any size, it recognises the seven-byte control commands and the
// 262-byte message packets, checks every part of them and of the message
// they make up, and reports what it found as events. The events do not depend
// on how the stream was cut into pieces.
//
// Every fault is reported, never silently skipped. Bytes that start nothing
// are skipped up to the next plausible start of a command or packet and
// reported as one UnexpectedBytes fault per run (at most kMaxSkipReport bytes
// each). A packet whose 262nd byte is not the end byte, or inside which a
// complete control command starts, was cut short: it ends where the next
// command, or the next packet header right after an end byte, begins.
//
// Memory stays bounded whatever arrives: at most kLookahead bytes are held.
class ModuleDecoder {
 public:
  // A packet plus the rest of a command that may start in its last bytes.
  static constexpr int kLookahead = kPacketSize + kControlCommandSize - 1;  // 268
  static constexpr int kMaxSkipReport = 4096;
  static constexpr int kSkipSampleSize = 16;  // bytes of a skipped run shown in its report

  std::vector<ModuleEvent> feed(QByteArrayView bytes);

  // The line has gone quiet: whatever is held is judged as it stands (a packet
  // cut short, a command without its end, skipped bytes, a message whose
  // packets never came) and reported.
  std::vector<ModuleEvent> flush();

  qsizetype pendingBytes() const { return static_cast<qsizetype>(buffer_.size()) - head_; }
  qint64 position() const { return fed_; }

 private:
  void process(std::vector<ModuleEvent> &out, bool final);
  // Skips bytes that start nothing; the reason is asked for only when a new
  // run of skipped bytes begins.
  void skip(qsizetype count, const std::function<QString()> &reason, std::vector<ModuleEvent> &out);
  void reportSkipped(std::vector<ModuleEvent> &out);
  void handleCommand(const std::uint8_t *bytes, std::vector<ModuleEvent> &out);
  void handlePacket(const std::uint8_t *bytes, int length, std::vector<ModuleEvent> &out);
  qint64 headOffset() const { return consumed_ + head_; }

  std::vector<std::uint8_t> buffer_;
  qsizetype head_ = 0;   // first byte not yet consumed
  qint64 consumed_ = 0;  // stream offset of buffer_[0]
  qint64 fed_ = 0;

  // The run of skipped bytes not yet reported.
  qint64 skippedStart_ = 0;
  int skippedCount_ = 0;
  QByteArray skippedSample_;
  QString skippedReason_;
  bool runGoesOn_ = false;  // the last report was cut at kMaxSkipReport bytes

  MessageTracker message_;
};

}  // namespace vf
