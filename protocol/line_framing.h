#pragma once

#include "protocol/control_command.h"
#include "protocol/packet.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace vf {

// Finds the elements of the byte stream on the module's line: fed the stream
// in pieces of any size, it hands over every seven-byte control command and
// every packet, in stream order, and every run of bytes between them that
// starts nothing. What it hands over does not depend on how the stream was
// cut into pieces.
//
// Bytes that start nothing are skipped up to the next plausible start of a
// command or packet and handed over as one run each (at most kMaxSkipReport
// bytes). A packet whose 262nd byte is not the end byte, or inside which a
// complete control command starts, was cut short: it ends where the next
// command, or the next packet header right after an end byte, begins.
//
// Memory stays bounded whatever arrives: at most kLookahead bytes are held.
class LineFraming {
 public:
  // A packet plus the rest of a command that may start in its last bytes.
  static constexpr int kLookahead = kPacketSize + kControlCommandSize - 1;  // 268
  static constexpr int kMaxSkipReport = 4096;
  static constexpr int kSkipSampleSize = 16;  // bytes of a skipped run shown in its report

  // Takes what the framing finds, each at the offset of its first byte.
  class Receiver {
   public:
    // 00 00 code parameter 00 (code + parameter) EF, whatever the code and parameter.
    virtual void command(std::span<const std::uint8_t, kControlCommandSize> bytes, qint64 offset) = 0;
    // From a packet header 00 NN 00 (NN 01 .. 10) to where the packet ends.
    virtual void packet(QByteArrayView bytes, qint64 offset) = 0;
    // Bytes that start nothing; detail says how many, why, and the first of them.
    virtual void skipped(qint64 offset, int length, const QString &detail) = 0;

   protected:
    ~Receiver() = default;
  };

  void feed(QByteArrayView bytes, Receiver &to);
  // The line has gone quiet: whatever is held is handed over as it stands (a
  // packet cut short, a command without its end as skipped bytes).
  void flush(Receiver &to);

  qsizetype pendingBytes() const { return static_cast<qsizetype>(buffer_.size()) - head_; }
  // The offset of the first byte not yet handed over.
  qint64 offset() const { return consumed_ + head_; }

 private:
  void process(Receiver &to, bool final);
  // Skips bytes that start nothing; the reason is asked for only when a new
  // run of skipped bytes begins.
  void skip(qsizetype count, const std::function<QString()> &reason, Receiver &to);
  void reportSkipped(Receiver &to);

  std::vector<std::uint8_t> buffer_;
  qsizetype head_ = 0;   // first byte not yet consumed
  qint64 consumed_ = 0;  // stream offset of buffer_[0]

  // The run of skipped bytes not yet reported.
  qint64 skippedStart_ = 0;
  int skippedCount_ = 0;
  QByteArray skippedSample_;
  QString skippedReason_;
  bool runGoesOn_ = false;  // the last report was cut at kMaxSkipReport bytes
};

}  // namespace vf
