#include "protocol/packet.h"

#include "protocol/control_command.h"

namespace vf {

int speedByteOf(int speedOption) {
  switch (speedOption) {
    case 2: return 1;
    case 3: return 2;
    case 4:
    case 5: return 3;
    default: return 0;
  }
}

QString StartPacket(int frameNumber, bool firstFrame, int speedOption) {
  QString text;
  text.reserve(kPacketHexTextLength);
  text.append(u"00 ");
  appendTwoDigitForm(text, frameNumber);
  text.append(u" 00 ");
  if (firstFrame) {
    appendTwoDigitForm(text, speedByteOf(speedOption));
    text.append(u" 8B ");
  }
  return text;
}

QString CompletePacket(QString &packetHexText, int dataByteCount, bool firstFrame, Lookups &lookups) {
  const int fill = (firstFrame ? kFirstFrameDataBytes : kLaterFrameDataBytes) - dataByteCount;
  static const QString kFillByte = QStringLiteral("FF ");
  if (fill > 0) packetHexText.append(kFillByte.repeated(fill));

  int sum = 0;
  for (int i = 0; i < kPacketBodySize; ++i) sum += hexValue(QStringView(packetHexText).mid(3 * i, 2));

  QString checksum;
  appendTwoDigitForm(checksum, sum >> 8);
  appendTwoDigitForm(checksum, sum);
  QString digits;
  for (int i = 0; i < 4; ++i) digits.append(lookups.Ex16(QStringView(checksum).mid(i, 1)));

  packetHexText.append(QStringView(digits).mid(0, 2));
  packetHexText.append(u' ');
  packetHexText.append(QStringView(digits).mid(2, 2));
  packetHexText.append(u" EF");
  return checksum;
}

QString PackDigits(QStringView packetHexText) {
  QString packed((packetHexText.size() + 1) / 3 * 2, Qt::Uninitialized);
  QChar *out = packed.data();
  for (qsizetype i = 0; 3 * i + 1 < packetHexText.size(); ++i) {
    *out++ = packetHexText[3 * i];
    *out++ = packetHexText[3 * i + 1];
  }
  packed.truncate(out - packed.constData());
  return packed;
}

QByteArray HexTextToBytes(QStringView packedDigits) {
  QByteArray bytes(kPacketSize, '\0');
  for (int i = 0; i < kPacketSize && 2 * i + 1 < packedDigits.size(); ++i) {
    bytes[i] = static_cast<char>(hexValue(packedDigits.mid(2 * i, 2)));
  }
  return bytes;
}

QByteArray messageStartCommand() { return controlCommand(CommandCode::MessageStart); }

QByteArray frameCountCommand(int frameCount) {
  return controlCommand(CommandCode::FrameCount, static_cast<std::uint8_t>(frameCount));
}

}  // namespace vf
