#pragma once

#include "protocol/lookups.h"

#include <QString>
#include <QStringView>

#include <cstdint>

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

// Whether the character of a normalised text has a display code: false for the
// characters that the conversion refuses as unusable (code class "0" or "1").
bool isUsable(char16_t unit);

// Shift-JIS code -> JIS digits: four upper-case hex digits, first byte first,
// appended to jisDigits.
// Carriage return and line feed are the caller's business (they are coded as
// the full-width blank); codes outside JIS X 0208 go through the same
// arithmetic unchecked.
void SJIStoJIS(QString &jisDigits, std::uint16_t shiftJisCode);

// Result of one JIStoCODE step. The code class is 100*J14 + 10*J13 + J12,
// whose decimal text is compared with "10", "11", "100", "101", "110", "111".
struct DisplayCode {
  int codeClass = 0;
  bool usable = false;
  std::uint8_t first = 0;   // P
  std::uint8_t second = 0;  // Q
};

// One group of 16 characters of JIS bits -> code class and, for a valid
// class, the display code. When usable, the hex text of P and Q ("PP QQ ") is
// appended to packetHexText through BINtoHEX, nibble by nibble.
DisplayCode JIStoCODE(QStringView jisBits, Lookups &lookups, QString &packetHexText);

// The forms that one frame's conversion leaves in the window.
struct FrameForms {
  QString jisDigits;      // Text4
  QString jisBits;        // Text6
  QString packetHexText;  // Text13, the packet as built so far
};

// Converts every character of the conversion text: JIS digits and JIS bits of
// all of them, display codes up to the first unusable character. Reports an
// unusable character to the operator once ("使用不可能な文字が含まれています",
// then Label1 "文字コード ERROR"). Returns the data bytes appended (2 per
// converted character).
int ConvertCharacters(QStringView conversionText, FrameForms &forms, Lookups &lookups, NoticeLog &notices);

}  // namespace vf
