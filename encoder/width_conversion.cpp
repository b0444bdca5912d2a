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
    if (ch.unicode() == 0x3099) ch = QChar(0x309B);
    else if (ch.unicode() == 0x309A) ch = QChar(0x309C);
  }
  return out;
}

}  // namespace vf
