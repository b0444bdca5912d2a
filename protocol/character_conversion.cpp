#include "protocol/character_conversion.h"

#include "protocol/cp932.h"
#include "protocol/hex_text.h"

namespace vf {
namespace {

constexpr std::uint16_t kFullWidthBlankCode = 0x8140;

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

std::optional<DisplayCode> displayCodeOf(JisCode jis) {
  const int h = jis.high;
  const int l = jis.low;
  const int codeClass = (h >> 4) & 0x7;  // J14 J13 J12
  if (codeClass < 2) return std::nullopt;
  const int j8 = h & 0x1;
  const int j11j10j9 = (h >> 1) & 0x7;
  if (codeClass == 2 || codeClass == 7) {  // "10", "111": the narrow classes
    const int q = (codeClass == 7 ? 0x10 : 0) | ((l >> 5) & 0x3) << 2 | (j11j10j9 & 0x3);
    return DisplayCode{static_cast<std::uint8_t>(j8 << 7 | (l & 0x1F)), static_cast<std::uint8_t>(q)};
  }
  const int q = codeClass <= 4 ? ((h >> 6) & 0x1) << 3 | j11j10j9          // "11", "100": J14
                               : 0x10 | ((h >> 5) & 0x1) << 3 | j11j10j9;  // "101", "110": J13
  return DisplayCode{static_cast<std::uint8_t>(j8 << 7 | (l & 0x7F)), static_cast<std::uint8_t>(q)};
}

bool isUsable(char16_t unit) { return displayCodeOf(jisCodeOf(shiftJisCodeOf(unit))).has_value(); }

ConvertedFrame convertFrame(QStringView frameText) {
  ConvertedFrame frame;
  frame.jis.reserve(static_cast<std::size_t>(frameText.size()));
  frame.displayCodes.reserve(2 * frameText.size());
  for (const QChar ch : frameText) frame.jis.push_back(jisCodeOf(shiftJisCodeOf(ch.unicode())));
  for (std::size_t i = 0; i < frame.jis.size(); ++i) {
    const std::optional<DisplayCode> code = displayCodeOf(frame.jis[i]);
    if (!code) {
      frame.unusableAt = static_cast<qsizetype>(i);
      break;
    }
    frame.displayCodes.append(static_cast<char>(code->first));
    frame.displayCodes.append(static_cast<char>(code->second));
  }
  return frame;
}

QString jisDigitsText(const std::vector<JisCode> &codes) {
  QString text;
  text.reserve(4 * static_cast<qsizetype>(codes.size()));
  for (const JisCode &code : codes) text += hexByte(code.high) + hexByte(code.low);
  return text;
}

QString jisBitsText(const std::vector<JisCode> &codes) {
  QString text(16 * static_cast<qsizetype>(codes.size()), Qt::Uninitialized);
  QChar *out = text.data();
  for (const JisCode &code : codes) {
    const int value = code.high << 8 | code.low;
    for (int bit = 15; bit >= 0; --bit) *out++ = QChar(value >> bit & 1 ? u'1' : u'0');
  }
  return text;
}

}  // namespace vf
