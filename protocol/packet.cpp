#include "protocol/packet.h"

#include "protocol/control_command.h"

#include <algorithm>

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

int packetLeadLength(int frameNumber) { return frameNumber == 1 ? 5 : 3; }

QByteArray buildPacket(int frameNumber, int speedOption, QByteArrayView displayCodes) {
  QByteArray packet;
  packet.reserve(kPacketSize);
  packet.append('\0').append(static_cast<char>(frameNumber)).append('\0');
  if (frameNumber == 1) packet.append(static_cast<char>(speedByteOf(speedOption))).append(static_cast<char>(kSpeedCodeMark));
  packet.append(displayCodes.first(std::min<qsizetype>(displayCodes.size(), kPacketBodySize - packet.size())));
  packet.append(kPacketBodySize - packet.size(), static_cast<char>(kFillByte));
  // No body the encoder builds sums to more than 65,296 (a header and 256
  // fill bytes): the sum always fits its two bytes.
  unsigned sum = 0;
  for (const char byte : packet) sum += static_cast<std::uint8_t>(byte);
  packet.append(static_cast<char>(sum >> 8 & 0xFF)).append(static_cast<char>(sum & 0xFF)).append(static_cast<char>(kEndByte));
  return packet;
}

std::uint16_t packetChecksum(QByteArrayView packet) {
  return static_cast<std::uint16_t>(static_cast<std::uint8_t>(packet[kPacketBodySize]) << 8 |
                                    static_cast<std::uint8_t>(packet[kPacketBodySize + 1]));
}

QByteArray messageStartCommand() { return controlCommand(CommandCode::MessageStart); }

QByteArray frameCountCommand(int frameCount) {
  return controlCommand(CommandCode::FrameCount, static_cast<std::uint8_t>(frameCount));
}

}  // namespace vf
