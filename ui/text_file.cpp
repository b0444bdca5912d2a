#include "ui/text_file.h"

#include "encoder/cp932.h"

#include <QStringDecoder>

namespace vf {
namespace {

QString decodeFileBytes(const QByteArray &bytes) {
  static const QByteArray kUtf8Bom("\xEF\xBB\xBF", 3);
  if (bytes.startsWith(kUtf8Bom)) return QString::fromUtf8(bytes.mid(kUtf8Bom.size()));
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QString text = utf8.decode(bytes);
  if (!utf8.hasError()) return text;
  return cp932::decode(bytes);
}

}  // namespace

QString textFromFileBytes(const QByteArray &bytes) {
  const QString text = decodeFileBytes(bytes);
  QString result;
  result.reserve(text.size() + 2);
  qsizetype lineStart = 0;
  const qsizetype n = text.size();
  for (qsizetype i = 0; i < n; ++i) {
    if (text[i] != u'\r') continue;
    result.append(QStringView(text).mid(lineStart, i - lineStart));
    result.append(u"\r\n");
    if (i + 1 < n && text[i + 1] == u'\n') ++i;
    lineStart = i + 1;
  }
  if (lineStart < n) {
    result.append(QStringView(text).mid(lineStart));
    result.append(u"\r\n");
  }
  return result;
}

}  // namespace vf
