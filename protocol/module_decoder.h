#pragma once

#include "protocol/control_command.h"
#include "protocol/packet.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

namespace vf {

// Everything that can be wrong with what arrives on the module's line.
enum class LineFault {
  // Bytes that start neither a control command nor a packet (a malformed
  // command, junk, the rest of a broken packet). Reported once per run.
  UnexpectedBytes,
  UnknownCommand,   // well-formed seven bytes with a code the module does not take
  BadParameter,     // a known code with a parameter it never carries
  // Faults of one packet.
  PacketLength,                // the packet is not 262 bytes long
  MissingSpeedCode,            // frame 1 without "SS 8B" at bytes 4 .. 5
  BadSpeedCode,                // "SS 8B" with a speed byte above 3
  SpeedCodeOutsideFirstFrame,  // "SS 8B" at the start of frame 2 .. 16
  OddDataLength,               // character data of an odd number of bytes
  UnknownDisplayCode,          // display codes that name no character (one report per packet)
  BadFill,                     // a byte other than FF after the first fill byte
  BadChecksum,
  BadEndByte,
  FrameOutOfOrder,             // not the frame that was due, or beyond the count
  PacketWithoutFrameCount,     // no message start + frame count announced it
  // Faults of the message as a whole.
  MissingFrameCount,              // a message start not followed by a frame count
  FrameCountWithoutMessageStart,
  IncompleteMessage,              // fewer packets than announced before the next command
};

// Short stable name of a fault, as printed by the tools ("bad-checksum").
QString faultName(LineFault fault);

struct FaultReport {
  LineFault kind;
  QString detail;  // what exactly was found, for the operator

  bool operator==(const FaultReport &) const = default;
};

struct ModuleEvent {
  enum class Kind {
    MessageStart,
    FrameCount,
    Packet,
    DisplayClear,
    DataCue,
    Update,
    Message,  // summary once the last announced packet of a message has arrived
    Fault,    // a fault that belongs to no single packet
  };
  Kind kind = Kind::Fault;
  qint64 offset = 0;        // position of the element's first byte in the stream
  int frames = 0;           // FrameCount, Message: frames announced
  int received = 0;         // Message: packets that arrived for it
  int frame = 0;            // Packet: frame number of its header
  int length = 0;           // bytes of the line the event stands for: a packet's, a command's
                            // (also of a rejected one), a skipped run's; 0 for message faults
  int speed = -1;           // Packet of frame 1, Message: speed byte 0 .. 3; -1 none
  bool checksumOk = false;  // Packet
  bool ok = false;          // Packet, Message: no fault at all
  QString text;             // Packet: its characters; Message: the whole text
  std::vector<FaultReport> faults;  // Packet: its faults; Fault: exactly one

  bool operator==(const ModuleEvent &) const = default;
};

// Short stable name of an event's kind, as printed by the tools ("data-cue").
QString eventKindName(ModuleEvent::Kind kind);

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
  enum class MessageState { Idle, AwaitingFrameCount, Receiving };

  void process(std::vector<ModuleEvent> &out, bool final);
  // Skips bytes that start nothing; the reason is asked for only when a new
  // run of skipped bytes begins.
  void skip(qsizetype count, const std::function<QString()> &reason, std::vector<ModuleEvent> &out);
  void reportSkipped(std::vector<ModuleEvent> &out);
  void handleCommand(const std::uint8_t *bytes, std::vector<ModuleEvent> &out);
  void handlePacket(const std::uint8_t *bytes, int length, std::vector<ModuleEvent> &out);
  void closeOpenMessage(const QString &why, std::vector<ModuleEvent> &out);
  ModuleEvent event(ModuleEvent::Kind kind) const;
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

  MessageState state_ = MessageState::Idle;
  int announced_ = 0;
  int nextFrame_ = 1;
  int received_ = 0;
  int messageSpeed_ = -1;
  qint64 messageOffset_ = 0;
  bool messageOk_ = true;
  QString messageText_;
};

}  // namespace vf
