#pragma once

#include <QByteArrayView>
#include <QString>

#include <cstdint>

namespace vf {

// Bytes as the window and the tools write them: upper-case hex digits.

// A byte as two digits ("0A").
QString hexByte(std::uint8_t byte);
// Bytes as digit pairs separated by blanks ("00 00 C0 00"): a complete packet,
// a command as vf3360-send prints it.
QString spacedHex(QByteArrayView bytes);
// Bytes each followed by a blank ("00 01 00 "): a packet as far as it is built.
QString openHex(QByteArrayView bytes);
// Bytes as digits without blanks: a packet's packed digits, 524 of them.
QString packedHex(QByteArrayView bytes);
// A number as four digits with leading zeros ("00E6"): a packet's checksum.
QString fourDigitHex(std::uint16_t value);
// A character's code point as Unicode writes it: "U+9AD9", "U+0009", "U+1F600".
QString codePointText(char32_t point);

}  // namespace vf
