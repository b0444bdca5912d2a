#pragma once

#include <cstdint>

namespace vf {

// What a two-byte display code (P, Q) names, read back the way the module
// reads it: display code -> JIS code -> Shift-JIS -> character.
//
// The two class families are told apart by P. In the narrow classes ("10",
// "111") P keeps only the low five bits of the JIS second byte L, so
// P & 0x7F < 0x20; in the wide classes ("11" .. "110") P & 0x7F is L itself
// (0x21 .. 0x7E).
//
// Bits the encoder drops are taken back as 0: J15 (the top bit of the first
// JIS byte), J7 (the top bit of L) and, in the narrow classes, J11. So class
// "10" reads back as JIS rows 1 .. 7 (first byte 0x21 .. 0x27) and class "111"
// as first bytes 0x70 .. 0x77. Characters of rows 9 .. 15 (the NEC special
// characters such as ① or ㈱, first byte 0x29 .. 0x2F) share their display code
// with the character eight rows up and come back as that twin: ① (JIS 0x2D21)
// comes back as ァ (JIS 0x2521).
//
// Only where J11 = 0 names no character is J11 = 1 taken: row 0 is empty, so
// the box drawing characters of row 8 (─ = JIS 0x2821) come back as
// themselves, and so do the few characters of row 13 whose twin cell in rows
// 1 .. 7 is empty (∟, ⊿).
struct DisplayCodeCharacter {
  bool hasJisCode = false;  // the code stands for a JIS code with row and cell in range
  bool known = false;       // and code page 932 has a character there
  char16_t character = u'\uFFFD';  // the character; U+FFFD when not known
  std::uint8_t jisHigh = 0;        // the JIS code rebuilt (when hasJisCode)
  std::uint8_t jisLow = 0;
  std::uint16_t shiftJis = 0;      // its Shift-JIS code (when hasJisCode)
};

DisplayCodeCharacter characterOfDisplayCode(std::uint8_t first, std::uint8_t second);

// Shift-JIS code of a JIS X 0208 code (both bytes 0x21 .. 0x7E).
std::uint16_t shiftJisOfJis(std::uint8_t high, std::uint8_t low);

}  // namespace vf
