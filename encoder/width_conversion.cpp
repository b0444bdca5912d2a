#include "encoder/width_conversion.h"

#include <unicode/translit.h>
#include <unicode/unistr.h>

#include <memory>
#include <stdexcept>

namespace vf {
namespace {

std::unique_ptr<icu::Transliterator> createTransliterator() {
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<icu::Transliterator> t(
      icu::Transliterator::createInstance("Halfwidth-Fullwidth", UTRANS_FORWARD, status));
  if (U_FAILURE(status) || !t) throw std::runtime_error("ICU has no Halfwidth-Fullwidth transliterator");
  return t;
}

}  // namespace

QString toFullWidth(const QString &text) {
  // Creating the transliterator costs milliseconds; one per thread, made once.
  thread_local const std::unique_ptr<icu::Transliterator> transliterator = createTransliterator();

  icu::UnicodeString work(reinterpret_cast<const UChar *>(text.utf16()), static_cast<int32_t>(text.size()));
  transliterator->transliterate(work);

  QString out(reinterpret_cast<const QChar *>(work.getBuffer()), work.length());
  for (QChar &ch : out) {
    switch (ch.unicode()) {
      case 0x3099: ch = QChar(0x309B); break;  // combining sound marks -> ゛ ゜
      case 0x309A: ch = QChar(0x309C); break;
      case 0xFF02: ch = QChar(0x201D); break;  // ＂ and ＇ are no JIS X 0208
      case 0xFF07: ch = QChar(0x2019); break;  // characters: ” and ’ instead
      default: break;
    }
  }
  return out;
}

}  // namespace vf
