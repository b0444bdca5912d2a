#include "ui/japanese_font.h"

#include <QStringList>

namespace vf {

QFont japaneseFont(qreal pointSize) {
  QFont font;
  font.setFamilies({QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("MS PGothic"), QStringLiteral("IPAPGothic"),
                    QStringLiteral("IPAGothic"), QStringLiteral("Noto Sans CJK JP"), QStringLiteral("VL PGothic")});
  font.setPointSizeF(pointSize);
  return font;
}

}  // namespace vf
