#include "protocol/received_packet.h"

#include "protocol/control_command.h"
#include "protocol/display_code.h"
#include "protocol/hex_text.h"
#include "protocol/packet.h"

#include <QStringList>

#include <cstdint>

namespace vf {
namespace {

constexpr int kMaxSpeedByte = 3;
constexpr int kUnknownCodesListed = 8;

}  // namespace

decoded::Packet checkPacket(QByteArrayView bytes) {
  const auto *b = reinterpret_cast<const std::uint8_t *>(bytes.data());
  const int length = static_cast<int>(bytes.size());
  decoded::Packet p;
  p.frame = b[1];
  auto fault = [&](LineFault kind, const QString &detail) { p.faults.push_back({kind, detail}); };

  if (length != kPacketSize) {
    fault(LineFault::PacketLength, QStringLiteral("frame %1: packet of %2 bytes, expected 262").arg(p.frame).arg(length));
  } else {
    // Byte numbers in the reports count from 1, as the packet layout does.
    int pos = 3;
    const bool speedCode = b[4] == kSpeedCodeMark;
    if (p.frame == 1) {
      if (!speedCode) {
        fault(LineFault::MissingSpeedCode,
              QStringLiteral("bytes 4 .. 5 are %1 %2, expected a speed code SS 8B").arg(hexByte(b[3]), hexByte(b[4])));
      } else {
        if (b[3] <= kMaxSpeedByte) p.speed = b[3];
        else fault(LineFault::BadSpeedCode, QStringLiteral("speed byte %1, expected 00 .. 03").arg(hexByte(b[3])));
        pos = 5;
      }
    } else if (speedCode && b[3] <= kMaxSpeedByte) {
      fault(LineFault::SpeedCodeOutsideFirstFrame,
            QStringLiteral("frame %1 begins with the speed code %2 8B, which belongs to frame 1 only")
                .arg(p.frame)
                .arg(hexByte(b[3])));
      pos = 5;
    }

    // Character data runs up to the first fill byte; no display code has FF.
    int dataEnd = pos;
    while (dataEnd < kPacketBodySize && b[dataEnd] != kFillByte) ++dataEnd;
    if ((dataEnd - pos) % 2 != 0) {
      fault(LineFault::OddDataLength, QStringLiteral("%1 bytes of character data (bytes %2 .. %3): one is left over")
                                          .arg(dataEnd - pos)
                                          .arg(pos + 1)
                                          .arg(dataEnd));
    }
    p.text.reserve((dataEnd - pos) / 2);
    QStringList unknown;  // one report for all unknown codes of the packet
    int unknownCount = 0;
    for (int i = pos; i + 1 < dataEnd; i += 2) {
      const DisplayCodeCharacter c = characterOfDisplayCode(b[i], b[i + 1]);
      p.text += QChar(c.character);
      if (!c.known && unknownCount++ < kUnknownCodesListed) {
        QString where = QStringLiteral("%1 %2 at byte %3").arg(hexByte(b[i]), hexByte(b[i + 1])).arg(i + 1);
        if (c.hasJisCode) where += QStringLiteral(" (JIS %1%2)").arg(hexByte(c.jisHigh), hexByte(c.jisLow));
        unknown << where;
      }
    }
    if (unknownCount == 1) {
      fault(LineFault::UnknownDisplayCode, QStringLiteral("display code %1 names no character").arg(unknown[0]));
    } else if (unknownCount > 1) {
      QString detail = QStringLiteral("%1 display codes name no character: %2").arg(unknownCount).arg(unknown.join(u", "));
      if (unknownCount > kUnknownCodesListed) detail += QStringLiteral(" and %1 more").arg(unknownCount - kUnknownCodesListed);
      fault(LineFault::UnknownDisplayCode, detail);
    }

    int badFill = 0;
    int firstBadFill = -1;
    for (int i = dataEnd; i < kPacketBodySize; ++i) {
      if (b[i] != kFillByte) {
        if (badFill++ == 0) firstBadFill = i;
      }
    }
    if (badFill > 0) {
      fault(LineFault::BadFill, QStringLiteral("%1 byte(s) after the first fill byte (byte %2) are not FF; the first is "
                                               "%3 at byte %4")
                                    .arg(badFill)
                                    .arg(dataEnd + 1)
                                    .arg(hexByte(b[firstBadFill]))
                                    .arg(firstBadFill + 1));
    }

    // The header holds 00 and 00, so the body sums to at most 16 + 256 * 255
    // = 65296: the sum always fits the two checksum bytes.
    unsigned sum = 0;
    for (int i = 0; i < kPacketBodySize; ++i) sum += b[i];
    const unsigned stored = static_cast<unsigned>(b[kPacketBodySize]) << 8 | b[kPacketBodySize + 1];
    p.checksumOk = sum == stored;
    if (!p.checksumOk) {
      fault(LineFault::BadChecksum, QStringLiteral("checksum %1, the body sums to %2")
                                        .arg(QString::asprintf("%04X", stored), QString::asprintf("%04X", sum)));
    }
    if (b[kPacketSize - 1] != kEndByte) {
      fault(LineFault::BadEndByte, QStringLiteral("end byte %1, expected EF").arg(hexByte(b[kPacketSize - 1])));
    }
  }

  p.ok = p.faults.empty();
  return p;
}

}  // namespace vf
