#include "protocol/line_framing.h"

#include "protocol/hex_text.h"
#include "protocol/packet.h"

#include <algorithm>

namespace vf {
namespace {

QString hexBytes(const std::uint8_t *bytes, qsizetype count) {
  return spacedHex(QByteArrayView(reinterpret_cast<const char *>(bytes), count));
}

std::uint8_t commandSum(const std::uint8_t *c) { return static_cast<std::uint8_t>(c[2] + c[3]); }

// One of the five commands the program sends, complete and well formed.
bool isKnownCommand(const std::uint8_t *c) {
  if (c[0] != 0 || c[1] != 0 || c[4] != 0 || c[6] != kEndByte || c[5] != commandSum(c)) return false;
  switch (static_cast<CommandCode>(c[2])) {
    case CommandCode::FrameCount: return c[3] >= 1 && c[3] <= kMaxFrames;
    case CommandCode::DisplayClear:
    case CommandCode::DataCue:
    case CommandCode::Update:
    case CommandCode::MessageStart: return c[3] == 0;
    default: return false;
  }
}

bool isPacketHeader(const std::uint8_t *h) { return h[0] == 0 && h[1] >= 1 && h[1] <= kMaxFrames && h[2] == 0; }

enum class FormStatus { Valid, Incomplete, Invalid };

// The form of the seven bytes at the start of `bytes` (which begin 00 00), as
// far as they are there. The checks run in byte order, so a verdict reached on
// part of the bytes is the one the whole seven would give.
FormStatus commandFormOf(const std::uint8_t *b, qsizetype available) {
  if (available > 4 && b[4] != 0) return FormStatus::Invalid;
  if (available > 5 && b[5] != commandSum(b)) return FormStatus::Invalid;
  if (available > 6 && b[6] != kEndByte) return FormStatus::Invalid;
  return available < kControlCommandSize ? FormStatus::Incomplete : FormStatus::Valid;
}

// Why the bytes at the start of `bytes` are no control command, for the report.
QString whyNoCommand(const std::uint8_t *b) {
  auto text = [&](int index, const QString &what) {
    return QStringLiteral("control command %1: %2").arg(hexBytes(b, index + 1), what);
  };
  if (b[4] != 0) return text(4, QStringLiteral("byte 5 is %1, expected 00").arg(hexByte(b[4])));
  if (b[5] != commandSum(b)) {
    return text(5, QStringLiteral("byte 6 is %1, expected %2 (code + parameter)").arg(hexByte(b[5]), hexByte(commandSum(b))));
  }
  return text(6, QStringLiteral("end byte is %1, expected EF").arg(hexByte(b[6])));
}

// How many bytes the packet at the start of `bytes` takes. 0: not yet known.
int packetLengthOf(const std::uint8_t *b, qsizetype available, bool final) {
  if (available >= kPacketSize && b[kPacketSize - 1] == kEndByte) {
    // The end byte is where it belongs. A complete command inside the packet
    // still means the packet was cut short there: no command fits in a packet
    // whose display codes are valid.
    for (int p = 3; p + kControlCommandSize <= kPacketSize; ++p) {
      if (isKnownCommand(b + p)) return p;
    }
    return kPacketSize;
  }
  if (available < LineFraming::kLookahead && !final) return 0;
  // The 262nd byte is not the end byte (or the line went quiet first): the
  // packet ends where the next command starts, or the next packet header
  // right after an end byte.
  const qsizetype limit = std::min<qsizetype>(available, LineFraming::kLookahead);
  int boundary = 0;
  for (int p = 3; p < kPacketSize && p + kControlCommandSize <= limit; ++p) {
    if (isKnownCommand(b + p)) {
      boundary = p;
      break;
    }
  }
  for (int p = static_cast<int>(std::min<qsizetype>(kPacketSize - 1, limit - 3)); p >= 3; --p) {
    if (b[p - 1] == kEndByte && isPacketHeader(b + p)) {
      if (boundary == 0 || p < boundary) boundary = p;
      break;
    }
  }
  if (boundary > 0) return boundary;
  return static_cast<int>(std::min<qsizetype>(available, kPacketSize));
}

}  // namespace

void LineFraming::feed(QByteArrayView bytes, Receiver &to) {
  const auto *in = reinterpret_cast<const std::uint8_t *>(bytes.data());
  qsizetype taken = 0;
  while (taken < bytes.size()) {
    if (head_ > 0) {
      buffer_.erase(buffer_.begin(), buffer_.begin() + head_);
      consumed_ += head_;
      head_ = 0;
    }
    // process() only waits for more while fewer than kLookahead bytes are
    // held, so there is always room here.
    const qsizetype room = kLookahead - static_cast<qsizetype>(buffer_.size());
    const qsizetype n = std::min(room, bytes.size() - taken);
    buffer_.insert(buffer_.end(), in + taken, in + taken + n);
    taken += n;
    process(to, false);
  }
}

void LineFraming::flush(Receiver &to) {
  process(to, true);
  reportSkipped(to);
}

void LineFraming::process(Receiver &to, bool final) {
  for (;;) {
    const qsizetype available = pendingBytes();
    if (available == 0) return;
    const std::uint8_t *b = buffer_.data() + head_;

    if (b[0] != 0x00) {
      // Everything up to the next 00 starts nothing.
      qsizetype run = 1;
      while (run < available && b[run] != 0x00) ++run;
      skip(run, [&] { return QStringLiteral("byte %1 starts no control command or packet").arg(hexByte(b[0])); }, to);
      continue;
    }
    if (available < 2) {
      if (!final) return;
      skip(1, [] { return QStringLiteral("a lone 00 at the end"); }, to);
      continue;
    }

    if (b[1] == 0x00) {
      const FormStatus form = commandFormOf(b, available);
      if (form == FormStatus::Invalid) {
        skip(1, [&] { return whyNoCommand(b); }, to);
        continue;
      }
      if (form == FormStatus::Incomplete) {
        if (!final) return;
        skip(1, [&] { return QStringLiteral("control command cut short: %1").arg(hexBytes(b, available)); }, to);
        continue;
      }
      reportSkipped(to);
      to.command(std::span<const std::uint8_t, kControlCommandSize>(b, kControlCommandSize), offset());
      head_ += kControlCommandSize;
      continue;
    }

    if (b[1] <= kMaxFrames) {
      if (available < 3) {
        if (!final) return;
        skip(1, [&] { return QStringLiteral("packet header cut short: 00 %1").arg(hexByte(b[1])); }, to);
        continue;
      }
      if (b[2] != 0x00) {
        skip(1, [&] { return QStringLiteral("00 %1 %2 is no packet header").arg(hexByte(b[1]), hexByte(b[2])); }, to);
        continue;
      }
      const int length = packetLengthOf(b, available, final);
      if (length == 0) return;
      reportSkipped(to);
      to.packet(QByteArrayView(reinterpret_cast<const char *>(b), length), offset());
      head_ += length;
      continue;
    }

    skip(1, [&] { return QStringLiteral("00 %1 starts no control command or packet").arg(hexByte(b[1])); }, to);
  }
}

void LineFraming::skip(qsizetype count, const std::function<QString()> &reason, Receiver &to) {
  while (count > 0) {
    if (skippedCount_ == 0) {
      skippedStart_ = offset();
      // A run that goes on after a full report keeps no reason of its own: the
      // bytes where the report was cut depend on how the stream arrived.
      skippedReason_ = runGoesOn_ ? QStringLiteral("the skipped run before goes on") : reason();
      skippedSample_.clear();
    }
    const qsizetype n = std::min<qsizetype>(count, kMaxSkipReport - skippedCount_);
    const qsizetype sample = std::min<qsizetype>(n, kSkipSampleSize - skippedSample_.size());
    if (sample > 0) skippedSample_.append(reinterpret_cast<const char *>(buffer_.data() + head_), sample);
    skippedCount_ += static_cast<int>(n);
    head_ += n;
    count -= n;
    if (skippedCount_ >= kMaxSkipReport) {
      reportSkipped(to);
      runGoesOn_ = true;
    }
  }
}

void LineFraming::reportSkipped(Receiver &to) {
  runGoesOn_ = false;
  if (skippedCount_ == 0) return;
  const auto *sample = reinterpret_cast<const std::uint8_t *>(skippedSample_.constData());
  QString bytes = hexBytes(sample, skippedSample_.size());
  if (skippedCount_ > skippedSample_.size()) bytes += QStringLiteral(" ...");
  to.skipped(skippedStart_, skippedCount_,
             QStringLiteral("%1 byte(s) skipped (%2): %3").arg(skippedCount_).arg(skippedReason_, bytes));
  skippedCount_ = 0;
  skippedSample_.clear();
  skippedReason_.clear();
}

}  // namespace vf
