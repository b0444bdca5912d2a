#pragma once

#include "protocol/lookups.h"

#include <QByteArray>
#include <QString>
#include <QStringView>

namespace vf {

inline constexpr int kPacketSize = 262;
inline constexpr int kPacketBodySize = 259;
inline constexpr int kPacketHexTextLength = 3 * kPacketSize - 1;  // 785
inline constexpr int kFirstFrameDataBytes = 254;
inline constexpr int kLaterFrameDataBytes = 256;
inline constexpr int kMaxFrames = 16;

// The five scroll speeds, Option1 .. Option5.
inline constexpr int kSpeedOptionCount = 5;
// The speed byte of the packet of frame 1; Option4 and Option5 share code 3.
int speedByteOf(int speedOption);

// Text13 at the start of a packet: the frame header "00 NN 00 ", followed in
// frame 1 by the speed code "SS 8B ".
QString StartPacket(int frameNumber, bool firstFrame, int speedOption);

// Appends the fill bytes, the checksum and the end byte to the hex text of a
// packet whose header, speed code and dataByteCount data bytes it holds.
// Returns the checksum text (Text14): four upper-case hex digits.
QString CompletePacket(QString &packetHexText, int dataByteCount, bool firstFrame, Lookups &lookups);

// The complete packet's 524 hex digits without blanks (Text15).
QString PackDigits(QStringView packetHexText);

// 524 packed hex digits -> 262 bytes.
QByteArray HexTextToBytes(QStringView packedDigits);

// The message start command and the frame count command that open a message.
QByteArray messageStartCommand();
QByteArray frameCountCommand(int frameCount);

}  // namespace vf
