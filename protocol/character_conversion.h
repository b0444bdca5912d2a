#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <cstdint>
#include <optional>
#include <vector>

namespace vf {

// The JIS code that the Shift-JIS to JIS arithmetic gives for a code, each
// byte taken modulo 256. For the characters of JIS X 0208 it is their JIS code.
struct JisCode {
  std::uint8_t high = 0;  // H
  std::uint8_t low = 0;   // L
};
JisCode jisCodeOf(std::uint16_t shiftJisCode);

// The Shift-JIS code the conversion uses for a character of the text:
// carriage return, line feed and tab stand for the full-width blank; every
// other control character (U+0000 .. U+001F, U+007F) for a character the code
// page lacks, so that it is unusable.
std::uint16_t shiftJisCodeOf(char16_t unit);

// The two bytes by which the module picks a character.
struct DisplayCode {
  std::uint8_t first = 0;   // P
  std::uint8_t second = 0;  // Q
};

// The display code of a JIS code, chosen by its code class, the bits J14 J13
// J12 (bit 15 of H counts for nothing):
//   "11" .. "110" (first bytes 0x30 .. 0x6F): P = 128 (H mod 2) + L mod 128,
//     Q = J14 J11 J10 J9 for "11" and "100", 16 + J13 J11 J10 J9 for "101" and "110";
//   "10" (0x20 .. 0x2F) and "111" (0x70 .. 0x7F): P = 128 (H mod 2) + L mod 32,
//     Q = J6 J5 J10 J9, plus 16 for "111".
// No display code (nullopt) for classes "0" and "1": the character is unusable.
std::optional<DisplayCode> displayCodeOf(JisCode jis);

// Whether the character of a normalised text has a display code.
bool isUsable(char16_t unit);

// One frame's characters converted: the JIS code of every one of them, and
// the display codes up to the first unusable character, where the frame stops.
struct ConvertedFrame {
  std::vector<JisCode> jis;
  QByteArray displayCodes;  // two bytes a character, first byte first
  qsizetype unusableAt = -1;  // the first unusable character's index in the frame, or -1
};
ConvertedFrame convertFrame(QStringView frameText);

// The JIS codes as the window shows them: four upper-case hex digits each
// ("JIS(16進数)"), and sixteen characters "0"/"1" each, most significant bit
// first ("JIS(2進数)").
QString jisDigitsText(const std::vector<JisCode> &codes);
QString jisBitsText(const std::vector<JisCode> &codes);

}  // namespace vf
