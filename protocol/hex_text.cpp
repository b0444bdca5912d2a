#include "protocol/hex_text.h"

#include <array>

namespace vf {
namespace {

// "000102...FF": the two digits of every byte.
constexpr auto kPairs = [] {
  constexpr char16_t digits[] = u"0123456789ABCDEF";
  std::array<char16_t, 512> pairs{};
  for (int i = 0; i < 256; ++i) {
    pairs[2 * i] = digits[i >> 4];
    pairs[2 * i + 1] = digits[i & 0xF];
  }
  return pairs;
}();

QStringView pairOf(char byte) { return QStringView(kPairs.data() + 2 * static_cast<std::uint8_t>(byte), 2); }

// The digits of every byte, with `blank` after each but (unless `trailing`) the last.
QString joined(QByteArrayView bytes, bool blank, bool trailing) {
  QString text;
  text.reserve(bytes.size() * 3);
  for (qsizetype i = 0; i < bytes.size(); ++i) {
    text.append(pairOf(bytes[i]));
    if (blank && (trailing || i + 1 < bytes.size())) text.append(u' ');
  }
  return text;
}

}  // namespace

QString hexByte(std::uint8_t byte) { return pairOf(static_cast<char>(byte)).toString(); }

QString spacedHex(QByteArrayView bytes) { return joined(bytes, true, false); }

QString openHex(QByteArrayView bytes) { return joined(bytes, true, true); }

QString packedHex(QByteArrayView bytes) { return joined(bytes, false, false); }

QString fourDigitHex(std::uint16_t value) {
  QString text = pairOf(static_cast<char>(value >> 8)).toString();
  return text.append(pairOf(static_cast<char>(value & 0xFF)));
}

QString codePointText(char32_t point) {
  return QStringLiteral("U+") + QString::number(uint(point), 16).toUpper().rightJustified(4, u'0');
}

}  // namespace vf
