#include "protocol/display_code.h"

#include "protocol/cp932.h"

#include <QByteArray>
#include <QString>

#include <array>

namespace vf {
namespace {

bool inJisRange(int byte) { return byte >= 0x21 && byte <= 0x7E; }

bool isNarrow(std::uint8_t p) { return (p & 0x7F) < 0x20; }

// The JIS code a display code stands for, before any code page look-up. In the
// narrow classes the dropped bit J11 is taken as given.
DisplayCodeCharacter jisOf(std::uint8_t p, std::uint8_t q, int j11) {
  DisplayCodeCharacter result;
  if (q & 0xE0) return result;  // Q never has bits 7 .. 5 set
  const int j8 = p >> 7;
  int high = 0;
  int low = 0;
  if (isNarrow(p)) {
    // Narrow classes: P = J8 0 0 J4 .. J0, Q = 000 c J6 J5 J10 J9 with c = 0
    // for class "10" (0x20 .. 0x2F) and c = 1 for "111" (0x70 .. 0x7F).
    low = ((q >> 2) & 0x3) << 5 | (p & 0x1F);
    high = ((q & 0x10) ? 0x70 : 0x20) | j11 << 3 | (q & 0x3) << 1 | j8;
  } else {
    // Wide classes: P = J8 followed by L's low seven bits, Q = (H - 0x30) div 2.
    low = p & 0x7F;
    high = 0x30 + 2 * (q & 0x1F) + j8;
  }
  if (!inJisRange(high) || !inJisRange(low)) return result;
  result.hasJisCode = true;
  result.jisHigh = static_cast<std::uint8_t>(high);
  result.jisLow = static_cast<std::uint8_t>(low);
  result.shiftJis = shiftJisOfJis(result.jisHigh, result.jisLow);
  return result;
}

// Fills in the character of code page 932 at the code, if there is one. Only
// a character that code page 932 maps back to the same code counts; undefined
// codes decode to U+FFFD or a substitute.
bool lookUp(DisplayCodeCharacter &c) {
  if (!c.hasJisCode) return false;
  const char bytes[2] = {static_cast<char>(c.shiftJis >> 8), static_cast<char>(c.shiftJis & 0xFF)};
  const QString decoded = cp932::decode(QByteArray(bytes, 2));
  if (decoded.size() != 1 || decoded[0] == QChar(0xFFFD) || cp932::codeOf(decoded[0].unicode()) != c.shiftJis) {
    return false;
  }
  c.known = true;
  c.character = decoded[0].unicode();
  return true;
}

DisplayCodeCharacter resolve(std::uint8_t p, std::uint8_t q) {
  DisplayCodeCharacter c = jisOf(p, q, 0);
  if (lookUp(c) || !isNarrow(p)) return c;
  // Where the row with J11 = 0 has nothing there (or is row 0), the row eight
  // further on is the only one the code can have come from: row 8 (box
  // drawing) and the cells of row 13 that rows 1 .. 7 leave empty.
  DisplayCodeCharacter other = jisOf(p, q, 1);
  return lookUp(other) || !c.hasJisCode ? other : c;
}

// Every display code with Q < 0x20, resolved once: index P * 32 + Q.
using Table = std::array<DisplayCodeCharacter, 256 * 32>;

Table buildTable() {
  Table table;
  for (int p = 0; p < 256; ++p) {
    for (int q = 0; q < 32; ++q) {
      table[static_cast<std::size_t>(p * 32 + q)] = resolve(static_cast<std::uint8_t>(p), static_cast<std::uint8_t>(q));
    }
  }
  return table;
}

}  // namespace

std::uint16_t shiftJisOfJis(std::uint8_t high, std::uint8_t low) {
  const int lead = ((high + 1) >> 1) + (high <= 0x5E ? 0x70 : 0xB0);
  const int trail = low + ((high & 1) ? (low >= 0x60 ? 0x20 : 0x1F) : 0x7E);
  return static_cast<std::uint16_t>(lead << 8 | trail);
}

DisplayCodeCharacter characterOfDisplayCode(std::uint8_t first, std::uint8_t second) {
  if (second & 0xE0) return {};
  static const Table table = buildTable();
  return table[static_cast<std::size_t>(first * 32 + second)];
}

}  // namespace vf
