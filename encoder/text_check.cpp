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
    const TextRange whole = wholeCharacters(text, normalised.sourceIndex[i], normalised.sourceIndex[i + 1]);
    // The second half of a surrogate pair is marked with the first.
    if (check.unusable.empty() || check.unusable.back().to < whole.to) check.unusable.push_back({whole.from, whole.to});
  }
  if (!text.isEmpty() && text.size() <= kMaxInputLength) {
    check.frames = framesFor(normalised.text.size() + kPaddingLength);
  }
  return check;
}

}  // namespace vf
