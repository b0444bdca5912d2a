#pragma once

#include <QFont>

namespace vf {

// The windows' font: "ＭＳ Ｐゴシック" where it exists, else the nearest
// Japanese font installed (IPA, Noto CJK, VL), at the given size in points.
QFont japaneseFont(qreal pointSize);

}  // namespace vf
