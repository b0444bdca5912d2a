#include "protocol/module_decoder.h"

#include "protocol/control_command.h"
#include "protocol/hex_text.h"
#include "protocol/packet.h"
#include "protocol/received_packet.h"

namespace vf {
namespace {

// Turns what the framing finds into events: reads each control command,
// checks each packet, and hands both to the message.
class Reader final : public LineFraming::Receiver {
 public:
  Reader(MessageTracker &message, std::vector<ModuleEvent> &out) : message_(message), out_(out) {}

  void command(std::span<const std::uint8_t, kControlCommandSize> b, qint64 offset) override;

  void packet(QByteArrayView bytes, qint64 offset) override {
    message_.packet(checkPacket(bytes), offset, static_cast<int>(bytes.size()), out_);
  }

  void skipped(qint64 offset, int length, const QString &detail) override {
    out_.push_back({offset, length, decoded::Fault{{LineFault::UnexpectedBytes, detail}}});
  }

 private:
  MessageTracker &message_;
  std::vector<ModuleEvent> &out_;
};

void Reader::command(std::span<const std::uint8_t, kControlCommandSize> b, qint64 offset) {
  const auto code = static_cast<CommandCode>(b[2]);
  const std::uint8_t parameter = b[3];
  const QString bytes = spacedHex(QByteArrayView(reinterpret_cast<const char *>(b.data()), kControlCommandSize));
  // The fault that stands for a rejected command takes its seven bytes.
  auto fault = [&](LineFault kind, const QString &detail) {
    out_.push_back({offset, kControlCommandSize, decoded::Fault{{kind, detail}}});
  };
  auto badParameter = [&](const QString &name, const QString &expected) {
    fault(LineFault::BadParameter,
          QStringLiteral("%1 command %2 carries parameter %3, expected %4").arg(name, bytes, hexByte(parameter), expected));
  };

  switch (code) {
    case CommandCode::MessageStart:
      if (parameter != 0) {
        message_.interrupt(QStringLiteral("a malformed message start"), offset, out_);
        badParameter(QStringLiteral("message start"), QStringLiteral("00"));
        return;
      }
      message_.start(offset, out_);
      return;

    case CommandCode::FrameCount:
      if (parameter < 1 || parameter > kMaxFrames) {
        message_.badFrameCount(offset, out_);
        badParameter(QStringLiteral("frame count"), QStringLiteral("01 .. 10"));
        return;
      }
      message_.frameCount(parameter, offset, out_);
      return;

    case CommandCode::DisplayClear:
    case CommandCode::DataCue:
    case CommandCode::Update: {
      const QString name = code == CommandCode::DisplayClear ? QStringLiteral("display clear")
                           : code == CommandCode::DataCue    ? QStringLiteral("data cue")
                                                        : QStringLiteral("update");
      message_.interrupt(QStringLiteral("a %1 command").arg(name), offset, out_);
      if (parameter != 0) {
        badParameter(name, QStringLiteral("00"));
        return;
      }
      if (code == CommandCode::DisplayClear) out_.push_back({offset, kControlCommandSize, decoded::DisplayClear{}});
      else if (code == CommandCode::DataCue) out_.push_back({offset, kControlCommandSize, decoded::DataCue{}});
      else out_.push_back({offset, kControlCommandSize, decoded::Update{}});
      return;
    }

    default:
      message_.interrupt(QStringLiteral("an unknown command"), offset, out_);
      fault(LineFault::UnknownCommand, QStringLiteral("control command %1 has code %2, which is none of 04, 14, 18, 1C, 25")
                                           .arg(bytes, hexByte(b[2])));
      return;
  }
}

}  // namespace

std::vector<ModuleEvent> ModuleDecoder::feed(QByteArrayView bytes) {
  std::vector<ModuleEvent> out;
  Reader reader(message_, out);
  framing_.feed(bytes, reader);
  return out;
}

std::vector<ModuleEvent> ModuleDecoder::flush() {
  std::vector<ModuleEvent> out;
  Reader reader(message_, out);
  framing_.flush(reader);
  message_.interrupt(QStringLiteral("the line went quiet"), framing_.offset(), out);
  return out;
}

}  // namespace vf
