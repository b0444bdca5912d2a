#include "protocol/lookups.h"

#include <array>

namespace vf {
namespace {

constexpr char16_t kDigits[] = u"0123456789ABCDEF";
constexpr char16_t kBitTexts[] =
    u"0000" u"0001" u"0010" u"0011" u"0100" u"0101" u"0110" u"0111"
    u"1000" u"1001" u"1010" u"1011" u"1100" u"1101" u"1110" u"1111";

// "000102...FF": the two digits of every byte, for appending in one step.
constexpr auto kHexPairs = [] {
  std::array<char16_t, 512> pairs{};
  for (int i = 0; i < 256; ++i) {
    pairs[2 * i] = kDigits[i >> 4];
    pairs[2 * i + 1] = kDigits[i & 0xF];
  }
  return pairs;
}();

}  // namespace

int hexDigitIndex(QChar c) {
  const char16_t u = c.unicode();
  if (u >= u'0' && u <= u'9') return u - u'0';
  if (u >= u'A' && u <= u'F') return u - u'A' + 10;
  return -1;
}

int nibbleIndex(QStringView bits) {
  if (bits.size() != 4) return -1;
  int value = 0;
  for (QChar c : bits) {
    if (c == u'0') value <<= 1;
    else if (c == u'1') value = value << 1 | 1;
    else return -1;
  }
  return value;
}

QStringView bitTextOfDigit(int index) { return QStringView(kBitTexts + 4 * index, 4); }
QStringView digitOfNibble(int index) { return QStringView(kDigits + index, 1); }

QStringView Lookups::HEXtoBIN(QStringView digit) {
  const int index = digit.size() == 1 ? hexDigitIndex(digit.front()) : -1;
  if (index < 0) {
    reportError(*notices_, QStringLiteral("HEXtoBIN ERROR"), QStringLiteral("HEXtoBIN ERROR"));
    return lastHexToBin_;
  }
  return lastHexToBin_ = bitTextOfDigit(index);
}

QStringView Lookups::BINtoHEX(QStringView nibble) {
  const int index = nibbleIndex(nibble);
  if (index < 0) {
    reportError(*notices_, QStringLiteral("BINtoHEX ERROR"), QStringLiteral("BINtoHEX"));
    return lastBinToHex_;
  }
  return lastBinToHex_ = digitOfNibble(index);
}

QStringView Lookups::Ex16(QStringView character) {
  const int index = character.size() == 1 ? hexDigitIndex(character.front()) : -1;
  if (index < 0) {
    reportError(*notices_, QStringLiteral("Ex16 ERROR"), QStringLiteral("Ex16 ERROR"));
    return lastEx16_;
  }
  return lastEx16_ = digitOfNibble(index);
}

int hexValue(QStringView digits) {
  int value = 0;
  for (QChar c : digits) value = value * 16 + hexDigitIndex(c);
  return value;
}

void appendTwoDigitForm(QString &text, std::int64_t value) {
  const auto low = static_cast<std::uint32_t>(value) & 0xFF;
  // The hex text without leading zeros, with "0" put in front, ends in the two
  // digits of the low byte whenever the value has two or more digits, and in
  // "0" + digit otherwise; both are the low byte with a leading zero.
  text.append(QStringView(kHexPairs.data() + 2 * low, 2));
}

QString twoDigitForm(std::int64_t value) {
  QString text;
  appendTwoDigitForm(text, value);
  return text;
}

QString hexByte(std::uint8_t byte) { return QString(reinterpret_cast<const QChar *>(kHexPairs.data() + 2 * byte), 2); }

QString spacedHex(QByteArrayView bytes) {
  QString text;
  text.reserve(bytes.size() * 3);
  for (qsizetype i = 0; i < bytes.size(); ++i) {
    if (i > 0) text.append(u' ');
    text.append(QStringView(kHexPairs.data() + 2 * static_cast<std::uint8_t>(bytes[i]), 2));
  }
  return text;
}

}  // namespace vf
