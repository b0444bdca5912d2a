#include "ui/message_wrap.h"

#include <QStringList>

namespace vf {
namespace {

bool isHiragana(QChar c) { return c.unicode() >= 0x3041 && c.unicode() <= 0x309F; }

bool isClosingMark(QChar c) { return QStringLiteral("、。，．・：；？！）」』】〕〉》”’〟,.:;!?)]}").contains(c); }

// Closing marks, small kana, the long vowel and repeat marks.
bool noBreakBefore(QChar c) { return isClosingMark(c) || QStringLiteral("ゝゞヽヾ々ーぁぃぅぇぉっゃゅょゎァィゥェォッャュョヮヵヶ%").contains(c); }

bool noBreakAfter(QChar c) { return QStringLiteral("「『（【〔〈《“‘([{").contains(c); }

bool isParticle(QChar c) { return QStringLiteral("をがにはでともへのやな").contains(c); }

// Whether a line may end before text[i].
bool phraseStartsAt(const QString &text, qsizetype i) {
  const QChar c = text[i], before = text[i - 1];
  if (noBreakBefore(c) || noBreakAfter(before)) return false;
  if (before == u' ') return c != u' ';
  if (c == u' ' || isHiragana(c)) return false;
  if (!isHiragana(before)) return isClosingMark(before);  // after a mark, not inside a word
  return (i >= 2 && isHiragana(text[i - 2])) || isParticle(before);
}

QString wrapLine(const QString &line, const QFontMetrics &metrics, int width) {
  QStringList phrases;
  qsizetype start = 0;
  for (qsizetype i = 1; i < line.size(); ++i) {
    if (phraseStartsAt(line, i)) {
      phrases << line.mid(start, i - start);
      start = i;
    }
  }
  phrases << line.mid(start);
  QString wrapped, current;
  for (const QString &phrase : phrases) {
    if (!current.isEmpty() && metrics.horizontalAdvance((current + phrase).trimmed()) > width) {
      wrapped += current.trimmed() + u'\n';
      current.clear();
    }
    current += phrase;
  }
  return wrapped + current;
}

}  // namespace

QString wrapAtPhrases(const QString &text, const QFontMetrics &metrics, int width) {
  QStringList lines = text.split(u'\n');
  for (QString &line : lines) line = wrapLine(line, metrics, width);
  return lines.join(u'\n');
}

}  // namespace vf
