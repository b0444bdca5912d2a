#pragma once

#include <QString>

#include <span>
#include <variant>
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

// What the module read, one kind of element each.
namespace decoded {

struct MessageStart {
  bool operator==(const MessageStart &) const = default;
};

struct FrameCount {
  int frames = 0;  // 1 .. 16
  bool operator==(const FrameCount &) const = default;
};

struct Packet {
  int frame = 0;            // the frame number of its header
  int speed = -1;           // frame 1: speed byte 0 .. 3; -1 none
  bool checksumOk = false;
  bool ok = false;          // no fault at all
  QString text;             // its characters (U+FFFD where a display code names none)
  std::vector<FaultReport> faults;
  bool operator==(const Packet &) const = default;
};

struct DisplayClear {
  bool operator==(const DisplayClear &) const = default;
};

struct DataCue {
  bool operator==(const DataCue &) const = default;
};

struct Update {
  bool operator==(const Update &) const = default;
};

// The summary once the last announced packet of a message has arrived.
struct Message {
  int frames = 0;    // announced
  int received = 0;  // packets that arrived for it
  int speed = -1;    // speed byte of frame 1, -1 none
  bool ok = false;   // no fault at all
  QString text;      // the whole text
  bool operator==(const Message &) const = default;
};

// A fault that belongs to no single packet.
struct Fault {
  FaultReport report;
  bool operator==(const Fault &) const = default;
};

}  // namespace decoded

struct ModuleEvent {
  qint64 offset = 0;  // position of the element's first byte in the stream
  int length = 0;     // bytes of the line the event stands for: a packet's, a command's (also of
                      // a rejected one), a skipped run's; 0 for a message's summary and its faults
  std::variant<decoded::MessageStart, decoded::FrameCount, decoded::Packet, decoded::DisplayClear, decoded::DataCue,
               decoded::Update, decoded::Message, decoded::Fault>
      what;

  template <typename Kind>
  const Kind *as() const {
    return std::get_if<Kind>(&what);
  }
  template <typename Kind>
  bool is() const {
    return std::holds_alternative<Kind>(what);
  }
  bool operator==(const ModuleEvent &) const = default;
};

// Short stable name of an event's kind, as printed by the tools ("data-cue").
QString eventKindName(const ModuleEvent &event);

// The faults an event reports: a packet's, or the one of a fault event.
std::span<const FaultReport> faultsOf(const ModuleEvent &event);

// One handler a kind for std::visit over an event's kind; the compiler
// refuses a visit that leaves a kind without one.
template <typename... Handlers>
struct Overloaded : Handlers... {
  using Handlers::operator()...;
};

}  // namespace vf
