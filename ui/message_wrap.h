#pragma once

#include <QFontMetrics>
#include <QString>

namespace vf {

// The lines of a message as a Japanese reader expects them: broken between
// phrases, never inside a word ("ください" stays whole), never before a
// closing mark or a small kana (、。」）ー っ …), never after an opening mark
// (「（ …); ASCII words break at their spaces. A phrase starts where a kanji,
// katakana or ASCII run follows kana that end one: two or more hiragana, or a
// particle (を が に は …), or a mark. Lines are filled up to `width` in the
// font's metrics; a phrase longer than a line stands alone on it. The
// message's own line ends stay.
QString wrapAtPhrases(const QString &text, const QFontMetrics &metrics, int width);

}  // namespace vf
