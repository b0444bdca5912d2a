#include "protocol/character_conversion.h"

#include "protocol/cp932.h"

#include <algorithm>
#include <array>

namespace vf {
namespace {

constexpr std::uint16_t kFullWidthBlankCode = 0x8140;

// Which JIS bit (15..0) or constant stands at each bit of P and Q, bit 7 first.
constexpr int kZero = -1;
constexpr int kOne = -2;
using BitLayout = std::array<int, 8>;

constexpr BitLayout kFirstByteNarrow = {8, kZero, kZero, 4, 3, 2, 1, 0};  // classes "10", "111"
constexpr BitLayout kFirstByteWide = {8, 6, 5, 4, 3, 2, 1, 0};            // "11" .. "110"
constexpr BitLayout kSecondByte10 = {kZero, kZero, kZero, kZero, 6, 5, 10, 9};
constexpr BitLayout kSecondByte11 = {kZero, kZero, kZero, kZero, 14, 11, 10, 9};  // also "100"
constexpr BitLayout kSecondByte101 = {kZero, kZero, kZero, kOne, 13, 11, 10, 9};  // also "110"
constexpr BitLayout kSecondByte111 = {kZero, kZero, kZero, kOne, 6, 5, 10, 9};

// Assembles eight characters of bit text for one byte from the group's bits.
void assemble(QStringView jisBits, const BitLayout &layout, char16_t (&bits)[8]) {
  for (int i = 0; i < 8; ++i) {
    const int source = layout[i];
    if (source == kZero) bits[i] = u'0';
    else if (source == kOne) bits[i] = u'1';
    else bits[i] = jisBits[15 - source].unicode();  // Jk is character 16 - k of the group
  }
}

std::uint8_t appendByte(const char16_t (&bits)[8], Lookups &lookups, QString &hexText) {
  const QChar high = lookups.BINtoHEX(QStringView(bits, 4)).front();
  const QChar low = lookups.BINtoHEX(QStringView(bits + 4, 4)).front();
  const char16_t text[3] = {high.unicode(), low.unicode(), u' '};
  hexText.append(QStringView(text, 3));
  return static_cast<std::uint8_t>(hexDigitIndex(high) << 4 | hexDigitIndex(low));
}

}  // namespace

JisCode jisCodeOf(std::uint16_t shiftJisCode) {
  // The code is read as hex digits without leading zeros: hi is the value of
  // the first two digits, lo that of the third and fourth (0 when absent).
  int hi = 0;
  int lo = 0;
  if (shiftJisCode > 0xFFF) {
    hi = shiftJisCode >> 8;
    lo = shiftJisCode & 0xFF;
  } else if (shiftJisCode > 0xFF) {
    hi = shiftJisCode >> 4;
    lo = shiftJisCode & 0xF;
  } else {
    hi = shiftJisCode;
  }
  hi = (hi <= 159 ? hi - 113 : hi - 177) * 2 + 1;
  if (lo > 127) lo -= 1;
  if (lo >= 158) {
    lo -= 125;
    hi += 1;
  } else {
    lo -= 31;
  }
  return {static_cast<std::uint8_t>(hi & 0xFF), static_cast<std::uint8_t>(lo & 0xFF)};
}

std::uint16_t shiftJisCodeOf(char16_t unit) {
  if (unit == u'\n' || unit == u'\r' || unit == u'\t') return kFullWidthBlankCode;
  // Every other control character is one the module has no code for: taken
  // as a character the code page lacks, it fails the code class test. (The
  // arithmetic would otherwise turn U+0001 into ＝ and a form feed into 戟.)
  if (unit < 0x20 || unit == 0x7F) return cp932::kSubstitutionCode;
  return cp932::codeOf(unit);
}

bool isUsable(char16_t unit) {
  // Classes "0" and "1" (J14 = J13 = 0) have no display code.
  return (jisCodeOf(shiftJisCodeOf(unit)).high & 0x60) != 0;
}

void SJIStoJIS(QString &jisDigits, std::uint16_t shiftJisCode) {
  const JisCode jis = jisCodeOf(shiftJisCode);
  appendTwoDigitForm(jisDigits, jis.high);
  appendTwoDigitForm(jisDigits, jis.low);
}

DisplayCode JIStoCODE(QStringView jisBits, Lookups &lookups, QString &packetHexText) {
  DisplayCode code;
  code.codeClass = (jisBits[1] == u'1' ? 100 : 0) + (jisBits[2] == u'1' ? 10 : 0) + (jisBits[3] == u'1' ? 1 : 0);

  const BitLayout *first = nullptr;
  const BitLayout *second = nullptr;
  switch (code.codeClass) {
    case 10: first = &kFirstByteNarrow; second = &kSecondByte10; break;
    case 11:
    case 100: first = &kFirstByteWide; second = &kSecondByte11; break;
    case 101:
    case 110: first = &kFirstByteWide; second = &kSecondByte101; break;
    case 111: first = &kFirstByteNarrow; second = &kSecondByte111; break;
    default: return code;  // "0" and "1": unusable
  }
  code.usable = true;
  char16_t bits[8];
  assemble(jisBits, *first, bits);
  code.first = appendByte(bits, lookups, packetHexText);
  assemble(jisBits, *second, bits);
  code.second = appendByte(bits, lookups, packetHexText);
  return code;
}

int ConvertCharacters(QStringView conversionText, FrameForms &forms, Lookups &lookups, NoticeLog &notices) {
  // Stage 1: JIS digits of every character.
  const qsizetype digitsStart = forms.jisDigits.size();
  forms.jisDigits.reserve(digitsStart + 4 * conversionText.size());
  for (QChar ch : conversionText) {
    SJIStoJIS(forms.jisDigits, shiftJisCodeOf(ch.unicode()));
  }
  // Stage 2: bit text of every digit.
  const qsizetype bitsStart = forms.jisBits.size();
  const qsizetype digitCount = forms.jisDigits.size() - digitsStart;
  forms.jisBits.resize(bitsStart + 4 * digitCount);
  char16_t *bits = reinterpret_cast<char16_t *>(forms.jisBits.data()) + bitsStart;
  const QChar *digits = forms.jisDigits.constData() + digitsStart;
  for (qsizetype i = 0; i < digitCount; ++i) {
    const QStringView bitText = lookups.HEXtoBIN(QStringView(digits + i, 1));
    std::copy(bitText.utf16(), bitText.utf16() + bitText.size(), bits);
    bits += bitText.size();
  }
  forms.jisBits.resize(bits - reinterpret_cast<const char16_t *>(forms.jisBits.constData()));
  // Stage 3: display codes, one group of 16 bits per character.
  int dataBytes = 0;
  forms.packetHexText.reserve(forms.packetHexText.size() + 6 * conversionText.size());
  for (qsizetype s = bitsStart; s + 16 <= forms.jisBits.size(); s += 16) {
    const DisplayCode code = JIStoCODE(QStringView(forms.jisBits).mid(s, 16), lookups, forms.packetHexText);
    if (!code.usable) {
      reportError(notices, QStringLiteral("使用不可能な文字が含まれています"), QStringLiteral("文字コード ERROR"));
      break;
    }
    dataBytes += 2;
  }
  return dataBytes;
}

}  // namespace vf
