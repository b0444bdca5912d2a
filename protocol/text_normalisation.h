#pragma once

#include <QString>
#include <QStringView>

#include <vector>

namespace vf {

// The operator's text as the module gets it: "半角は全角に自動変換". Every rule
// that changes a typed character lives here.
//
// Width: what ICU's Halfwidth-Fullwidth transliterator makes of each
// character. ASCII U+0021..U+007E become U+FF01..U+FF5E, the blank U+3000,
// half-width katakana full-width katakana, ¢ £ ¬ ¯ ¦ ¥ their full-width forms.
// Carriage return, line feed, tab and characters that are full width already
// stay as they are.
//
// Sound marks: a half-width katakana followed by ﾞ or ﾟ becomes one character
// where code page 932 has it (ｶﾞ -> ガ, ｳﾞ -> ヴ, ﾊﾟ -> パ); otherwise the two
// stay two, the mark as the spacing ゛ or ゜ (ﾜﾞ -> ワ゛, ｦﾞ -> ヲ゛, ｱﾞ -> ア゛).
//
// Code points: the double and single quote become ” and ’ (their full-width
// forms ＂ and ＇ have only extension codes, which the module lacks). Input
// methods on Linux and UTF-8 files write some JIS X 0208 characters with
// other code points than code page 932 has for them; they are sent as the
// characters they are: 〜 U+301C -> ～ U+FF5E, − U+2212 -> － U+FF0D,
// ‖ U+2016 -> ∥ U+2225, — U+2014 -> ― U+2015.
struct NormalisedText {
  QString text;
  // sourceIndex[i]: where in the source the character text[i] came from
  // (the first of two for a joined katakana); sourceIndex[text.size()] is the
  // source's length.
  std::vector<qsizetype> sourceIndex;
};

NormalisedText normaliseWithPositions(QStringView source);
QString normaliseForModule(QStringView source);

// Characters [from, to) of a text, widened so that no surrogate pair is cut:
// an emoji is one character to the operator (and two code units to the
// module, which counts code units). Whatever the program selects or marks in
// the operator's text goes through here.
struct TextRange {
  qsizetype from = 0;
  qsizetype to = 0;
};
TextRange wholeCharacters(QStringView text, qsizetype from, qsizetype to);

}  // namespace vf
