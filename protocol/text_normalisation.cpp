#include "protocol/text_normalisation.h"

#include "protocol/cp932.h"

#include <unicode/normalizer2.h>
#include <unicode/translit.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <array>
#include <memory>
#include <stdexcept>

namespace vf {
namespace {

constexpr char16_t kVoicedMark = 0xFF9E;      // ﾞ
constexpr char16_t kSemiVoicedMark = 0xFF9F;  // ﾟ
constexpr char16_t kFirstHalfwidthKana = 0xFF61;
constexpr char16_t kLastHalfwidthKana = 0xFF9F;
constexpr int kKanaCount = kLastHalfwidthKana - kFirstHalfwidthKana + 1;

struct Rules {
  std::array<char16_t, 0x10000> single{};
  // joined[k][m]: half-width katakana k followed by ﾞ (m = 0) or ﾟ (m = 1) as
  // one character, 0 where they stay two.
  std::array<std::array<char16_t, 2>, kKanaCount> joined{};
};

// Transliterates every piece at once, each ended by a NUL so that no two
// pieces act on each other; gives back the result of each piece.
std::vector<QString> transliterate(const std::vector<QString> &pieces) {
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<icu::Transliterator> widen(
      icu::Transliterator::createInstance("Halfwidth-Fullwidth", UTRANS_FORWARD, status));
  if (U_FAILURE(status) || !widen) throw std::runtime_error("ICU has no Halfwidth-Fullwidth transliterator");
  icu::UnicodeString all;
  for (const QString &piece : pieces) {
    all.append(reinterpret_cast<const UChar *>(piece.utf16()), static_cast<int32_t>(piece.size()));
    all.append(UChar(0));
  }
  widen->transliterate(all);
  std::vector<QString> results;
  results.reserve(pieces.size());
  const QString out(reinterpret_cast<const QChar *>(all.getBuffer()), all.length());
  for (qsizetype start = 0; start < out.size();) {
    const qsizetype end = out.indexOf(QChar(u'\0'), start);
    results.push_back(out.mid(start, end - start));
    start = end + 1;
  }
  return results;
}

// The transliterator's own mapping of every character it changes. Its rules
// widen the characters whose decomposition type is "narrow" and undo the
// decomposition of those whose type is "wide", so those are all it is asked
// about; each changes into exactly one character.
Rules buildRules() {
  Rules rules;
  for (std::size_t c = 0; c < rules.single.size(); ++c) rules.single[c] = static_cast<char16_t>(c);

  UErrorCode status = U_ZERO_ERROR;
  const icu::Normalizer2 *nfkc = icu::Normalizer2::getNFKCInstance(status);
  if (U_FAILURE(status)) throw std::runtime_error("ICU has no NFKC data");
  std::vector<QString> pieces;
  for (UChar32 c = 0; c < 0x10000; ++c) {
    const auto type = u_getIntPropertyValue(c, UCHAR_DECOMPOSITION_TYPE);
    icu::UnicodeString decomposition;
    if (type == U_DT_NARROW) {
      pieces.push_back(QString(QChar(char16_t(c))));
    } else if (type == U_DT_WIDE && nfkc->getDecomposition(c, decomposition) && decomposition.length() == 1) {
      pieces.push_back(QString(QChar(char16_t(decomposition[0]))));
    }
  }
  for (char16_t kana = kFirstHalfwidthKana; kana <= kLastHalfwidthKana; ++kana) {
    pieces.push_back(QString(QChar(kana)) + QChar(kVoicedMark));
    pieces.push_back(QString(QChar(kana)) + QChar(kSemiVoicedMark));
  }
  const std::vector<QString> results = transliterate(pieces);
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    const QString &from = pieces[i];
    const QString &to = results[i];
    if (from.size() == 1 && to.size() == 1) {
      rules.single[from[0].unicode()] = to[0].unicode();
    } else if (from.size() == 2 && to.size() == 1 && cp932::isMappable(to[0].unicode())) {
      rules.joined[from[0].unicode() - kFirstHalfwidthKana][from[1] == QChar(kSemiVoicedMark)] = to[0].unicode();
    }
  }

  // A mark that joins nothing is the spacing mark, which code page 932 has
  // (the transliterator gives the combining one).
  rules.single[kVoicedMark] = 0x309B;      // ゛
  rules.single[kSemiVoicedMark] = 0x309C;  // ゜
  rules.single[u'"'] = 0x201D;             // ”
  rules.single[u'\''] = 0x2019;            // ’
  rules.single[0x301C] = 0xFF5E;           // 〜 -> ～
  rules.single[0x2212] = 0xFF0D;           // − -> －
  rules.single[0x2016] = 0x2225;           // ‖ -> ∥
  rules.single[0x2014] = 0x2015;           // — -> ―
  return rules;
}

const Rules &rules() {
  static const Rules built = buildRules();
  return built;
}

char16_t joinedKana(const Rules &r, char16_t kana, char16_t mark) {
  if (kana < kFirstHalfwidthKana || kana > kLastHalfwidthKana) return 0;
  if (mark != kVoicedMark && mark != kSemiVoicedMark) return 0;
  return r.joined[kana - kFirstHalfwidthKana][mark == kSemiVoicedMark];
}

template <typename Append>
void normalise(QStringView source, Append append) {
  const Rules &r = rules();
  const qsizetype n = source.size();
  for (qsizetype i = 0; i < n; ++i) {
    const char16_t c = source[i].unicode();
    if (i + 1 < n) {
      if (const char16_t joined = joinedKana(r, c, source[i + 1].unicode())) {
        append(joined, i);
        ++i;
        continue;
      }
    }
    append(r.single[c], i);
  }
}

}  // namespace

NormalisedText normaliseWithPositions(QStringView source) {
  NormalisedText result;
  result.text.reserve(source.size());
  result.sourceIndex.reserve(static_cast<std::size_t>(source.size()) + 1);
  normalise(source, [&](char16_t c, qsizetype from) {
    result.text.append(QChar(c));
    result.sourceIndex.push_back(from);
  });
  result.sourceIndex.push_back(source.size());
  return result;
}

TextRange wholeCharacters(QStringView text, qsizetype from, qsizetype to) {
  from = std::clamp<qsizetype>(from, 0, text.size());
  to = std::clamp<qsizetype>(to, from, text.size());
  if (from > 0 && from < text.size() && text[from].isLowSurrogate() && text[from - 1].isHighSurrogate()) --from;
  if (to > 0 && to < text.size() && text[to - 1].isHighSurrogate() && text[to].isLowSurrogate()) ++to;
  return {from, to};
}

QString normaliseForModule(QStringView source) {
  QString text;
  text.reserve(source.size());
  normalise(source, [&](char16_t c, qsizetype) { text.append(QChar(c)); });
  return text;
}

}  // namespace vf
