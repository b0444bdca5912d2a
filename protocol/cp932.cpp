#include "protocol/cp932.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>
#include <unicode/uset.h>

#include <array>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <vector>

namespace vf::cp932 {
namespace {

constexpr std::uint16_t kNoCode = 0xFFFF;  // never a valid code page 932 code

struct ConverterCloser {
  void operator()(UConverter *c) const { ucnv_close(c); }
};
using ConverterPtr = std::unique_ptr<UConverter, ConverterCloser>;

ConverterPtr openConverter() {
  UErrorCode status = U_ZERO_ERROR;
  ConverterPtr conv(ucnv_open("windows-31j", &status));
  if (U_FAILURE(status) || !conv) {
    throw std::runtime_error("ICU has no windows-31j converter");
  }
  return conv;
}

bool isLeadByte(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

// ICU's windows-31j table exchanges three control codes: it reads 0x1A as
// U+001C, 0x1C as U+007F and 0x7F as U+001A. Code page 932 maps each of them
// to the character of the same number.
constexpr char16_t kExchangedControls[] = {0x1A, 0x1C, 0x7F};

char16_t controlAsCodePage932(char16_t unit) {
  switch (unit) {
    case 0x1C: return 0x1A;
    case 0x7F: return 0x1C;
    case 0x1A: return 0x7F;
    default: return unit;
  }
}

// Every byte sequence that is no character becomes U+FFFD. (ICU's own
// substitute is U+001A for a single byte, which would look like text.)
void replaceUndecodable(const void *, UConverterToUnicodeArgs *args, const char *, int32_t,
                        UConverterCallbackReason reason, UErrorCode *status) {
  if (reason != UCNV_UNASSIGNED && reason != UCNV_ILLEGAL && reason != UCNV_IRREGULAR) return;
  static constexpr UChar kReplacement = 0xFFFD;
  *status = U_ZERO_ERROR;
  ucnv_cbToUWriteUChars(args, &kReplacement, 1, 0, status);
}

// Builds the table with one conversion of every round-trip character at once.
std::array<std::uint16_t, 0x10000> buildTable() {
  std::array<std::uint16_t, 0x10000> table;
  table.fill(kNoCode);

  ConverterPtr conv = openConverter();
  UErrorCode status = U_ZERO_ERROR;
  USet *set = uset_openEmpty();
  ucnv_getUnicodeSet(conv.get(), set, UCNV_ROUNDTRIP_SET, &status);

  std::vector<UChar> units;
  const int32_t ranges = uset_getItemCount(set);
  for (int32_t i = 0; i < ranges; ++i) {
    UChar32 start = 0, end = 0;
    UErrorCode itemStatus = U_ZERO_ERROR;
    if (uset_getItem(set, i, &start, &end, nullptr, 0, &itemStatus) != 0) continue;  // strings
    for (UChar32 c = start; c <= end && c <= 0xFFFF; ++c) units.push_back(static_cast<UChar>(c));
  }
  uset_close(set);

  std::vector<char> bytes(units.size() * 2 + 16);
  ucnv_setFromUCallBack(conv.get(), UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
  const int32_t written = ucnv_fromUChars(conv.get(), bytes.data(), static_cast<int32_t>(bytes.size()),
                                          units.data(), static_cast<int32_t>(units.size()), &status);
  if (U_FAILURE(status)) throw std::runtime_error("code page 932 table could not be built");

  std::size_t pos = 0;
  for (UChar unit : units) {
    if (pos >= static_cast<std::size_t>(written)) break;
    const auto first = static_cast<unsigned char>(bytes[pos]);
    if (isLeadByte(first) && pos + 1 < static_cast<std::size_t>(written)) {
      table[unit] = static_cast<std::uint16_t>(first << 8 | static_cast<unsigned char>(bytes[pos + 1]));
      pos += 2;
    } else {
      table[unit] = first;
      pos += 1;
    }
  }
  for (const char16_t control : kExchangedControls) table[control] = control;
  return table;
}

const std::array<std::uint16_t, 0x10000> &table() {
  static const std::array<std::uint16_t, 0x10000> built = buildTable();
  return built;
}

}  // namespace

std::uint16_t codeOf(char16_t unit) {
  const std::uint16_t code = table()[unit];
  return code == kNoCode ? kSubstitutionCode : code;
}

bool isMappable(char16_t unit) { return table()[unit] != kNoCode; }

QString decode(const QByteArray &bytes) {
  if (bytes.isEmpty()) return {};
  static std::mutex mutex;
  static ConverterPtr conv = [] {
    ConverterPtr c = openConverter();
    UErrorCode status = U_ZERO_ERROR;
    ucnv_setToUCallBack(c.get(), replaceUndecodable, nullptr, nullptr, nullptr, &status);
    return c;
  }();
  std::lock_guard lock(mutex);
  ucnv_resetToUnicode(conv.get());
  std::vector<UChar> out(static_cast<std::size_t>(bytes.size()) + 4);
  UErrorCode status = U_ZERO_ERROR;
  const int32_t n = ucnv_toUChars(conv.get(), out.data(), static_cast<int32_t>(out.size()), bytes.constData(),
                                  static_cast<int32_t>(bytes.size()), &status);
  if (U_FAILURE(status)) return {};
  QString text(reinterpret_cast<const QChar *>(out.data()), n);
  for (QChar &ch : text) ch = QChar(controlAsCodePage932(ch.unicode()));
  return text;
}

}  // namespace vf::cp932
