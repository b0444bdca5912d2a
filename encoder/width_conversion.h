#pragma once

#include <QString>

namespace vf {

// Half width to full width, as the operator expects from "半角は全角に自動変換":
// ASCII U+0021..U+007E become U+FF01..U+FF5E, the blank becomes U+3000, and
// half-width katakana become full-width katakana (a katakana and its following
// sound mark become one character where one exists). Carriage return, line
// feed, tab and characters that are full width already stay as they are.
//
// A half-width sound mark that cannot join the character before it becomes
// the spacing mark (゛ U+309B, ゜ U+309C) rather than a combining one, which
// code page 932 lacks. The double and single quote become ” and ’: their
// full-width forms ＂ and ＇ have only extension codes, which the module's
// character set does not hold.
QString toFullWidth(const QString &text);

}  // namespace vf
