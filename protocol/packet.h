#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <cstdint>

namespace vf {

inline constexpr int kPacketSize = 262;
inline constexpr int kPacketBodySize = 259;
inline constexpr int kFirstFrameDataBytes = 254;
inline constexpr int kLaterFrameDataBytes = 256;
inline constexpr int kMaxFrames = 16;
// The byte after frame 1's speed byte, and the byte that fills a packet
// after its display codes.
inline constexpr std::uint8_t kSpeedCodeMark = 0x8B;
inline constexpr std::uint8_t kFillByte = 0xFF;

// The five scroll speeds, fastest first.
inline constexpr int kSpeedOptionCount = 5;
// The speed byte of the packet of frame 1; speeds 4 and 5 share code 3.
int speedByteOf(int speedOption);

// The packet of one frame, 262 bytes: the header 00 NN 00, in frame 1 the
// speed code SS 8B, the display codes, fill bytes FF up to byte 259, the sum
// of those 259 bytes (high byte first) and the end byte EF.
QByteArray buildPacket(int frameNumber, int speedOption, QByteArrayView displayCodes);
// How many bytes of a packet come before its display codes: the header, and
// in frame 1 the speed code.
int packetLeadLength(int frameNumber);
// The checksum a packet carries.
std::uint16_t packetChecksum(QByteArrayView packet);

// The message start command and the frame count command that open a message.
QByteArray messageStartCommand();
QByteArray frameCountCommand(int frameCount);

}  // namespace vf
