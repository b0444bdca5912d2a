#include "encoder/text_check.h"

#include "encoder/message_builder.h"
#include "protocol/character_conversion.h"
#include "protocol/text_normalisation.h"

namespace vf {

TextCheck checkText(QStringView text) {
  TextCheck check;
  check.characters = text.size();
  const NormalisedText normalised = normaliseWithPositions(text.first(std::min<qsizetype>(text.size(), kMaxInputLength)));
  for (qsizetype i = 0; i < normalised.text.size(); ++i) {
    if (isUsable(normalised.text[i].unicode())) continue;
    const qsizetype from = normalised.sourceIndex[i];
    const qsizetype to = normalised.sourceIndex[i + 1];
    // The two halves of a surrogate pair are one character to the operator.
    if (!check.unusable.empty() && check.unusable.back().to == from && text[from].isLowSurrogate() &&
        text[from - 1].isHighSurrogate()) {
      check.unusable.back().to = to;
    } else {
      check.unusable.push_back({from, to});
    }
  }
  if (!text.isEmpty() && text.size() <= kMaxInputLength) {
    check.frames = 1 + static_cast<int>((normalised.text.size() + kPaddingLength) / 128);
  }
  return check;
}

}  // namespace vf
