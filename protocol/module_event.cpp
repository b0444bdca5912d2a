#include "protocol/module_event.h"

namespace vf {
namespace {

QString kindName(const decoded::MessageStart &) { return QStringLiteral("message-start"); }
QString kindName(const decoded::FrameCount &) { return QStringLiteral("frame-count"); }
QString kindName(const decoded::Packet &) { return QStringLiteral("packet"); }
QString kindName(const decoded::DisplayClear &) { return QStringLiteral("display-clear"); }
QString kindName(const decoded::DataCue &) { return QStringLiteral("data-cue"); }
QString kindName(const decoded::Update &) { return QStringLiteral("update"); }
QString kindName(const decoded::Message &) { return QStringLiteral("message"); }
QString kindName(const decoded::Fault &) { return QStringLiteral("fault"); }

}  // namespace

QString faultName(LineFault fault) {
  switch (fault) {
    case LineFault::UnexpectedBytes: return QStringLiteral("unexpected-bytes");
    case LineFault::UnknownCommand: return QStringLiteral("unknown-command");
    case LineFault::BadParameter: return QStringLiteral("bad-parameter");
    case LineFault::PacketLength: return QStringLiteral("packet-length");
    case LineFault::MissingSpeedCode: return QStringLiteral("missing-speed-code");
    case LineFault::BadSpeedCode: return QStringLiteral("bad-speed-code");
    case LineFault::SpeedCodeOutsideFirstFrame: return QStringLiteral("speed-code-outside-frame-1");
    case LineFault::OddDataLength: return QStringLiteral("odd-data-length");
    case LineFault::UnknownDisplayCode: return QStringLiteral("unknown-display-code");
    case LineFault::BadFill: return QStringLiteral("bad-fill");
    case LineFault::BadChecksum: return QStringLiteral("bad-checksum");
    case LineFault::BadEndByte: return QStringLiteral("bad-end-byte");
    case LineFault::FrameOutOfOrder: return QStringLiteral("frame-out-of-order");
    case LineFault::PacketWithoutFrameCount: return QStringLiteral("packet-without-frame-count");
    case LineFault::MissingFrameCount: return QStringLiteral("missing-frame-count");
    case LineFault::FrameCountWithoutMessageStart: return QStringLiteral("frame-count-without-message-start");
    case LineFault::IncompleteMessage: return QStringLiteral("incomplete-message");
  }
  return QStringLiteral("unknown");
}

QString eventKindName(const ModuleEvent &event) {
  return std::visit([](const auto &kind) { return kindName(kind); }, event.what);
}

std::span<const FaultReport> faultsOf(const ModuleEvent &event) {
  if (const auto *packet = event.as<decoded::Packet>()) return packet->faults;
  if (const auto *fault = event.as<decoded::Fault>()) return {&fault->report, 1};
  return {};
}

}  // namespace vf
