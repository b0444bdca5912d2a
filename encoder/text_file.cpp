#include "encoder/text_file.h"

#include "protocol/cp932.h"

#include <QDir>
#include <QFile>
#include <QStringDecoder>

#include <algorithm>

namespace vf {
namespace {

const QByteArray kUtf8Bom("\xEF\xBB\xBF", 3);
const QByteArray kUtf16LeBom("\xFF\xFE", 2);
const QByteArray kUtf16BeBom("\xFE\xFF", 2);

bool hasUtf16Bom(const QByteArray &bytes) { return bytes.startsWith(kUtf16LeBom) || bytes.startsWith(kUtf16BeBom); }

bool isAsciiLower(QChar c) { return c >= u'a' && c <= u'z'; }
bool isAccentedLatinLetter(QChar c) {
  return c.unicode() >= 0xC0 && c.unicode() <= 0x24F && c.unicode() != 0xD7 && c.unicode() != 0xF7 && c.isLetter();
}

// An accented Latin letter inside a word of lower-case ASCII letters.
bool readsAsLatinWords(const QString &utf8) {
  for (qsizetype i = 0; i < utf8.size(); ++i) {
    if (!isAccentedLatinLetter(utf8[i])) continue;
    // Look past neighbouring accented letters ("Größe") to the ASCII around them.
    qsizetype before = i - 1;
    while (before >= 0 && isAccentedLatinLetter(utf8[before])) --before;
    qsizetype after = i + 1;
    while (after < utf8.size() && isAccentedLatinLetter(utf8[after])) ++after;
    if ((before >= 0 && isAsciiLower(utf8[before])) || (after < utf8.size() && isAsciiLower(utf8[after]))) return true;
    i = after - 1;
  }
  return false;
}

bool hasLongUtf8Sequence(const QByteArray &bytes) {
  for (const char b : bytes) {
    if ((static_cast<unsigned char>(b) & 0xF0) >= 0xE0) return true;  // lead byte of 3 or 4 bytes
  }
  return false;
}

}  // namespace

TextFileEncoding encodingOfTextFile(const QByteArray &bytes) {
  if (hasUtf16Bom(bytes)) return TextFileEncoding::Utf16;
  if (bytes.startsWith(kUtf8Bom)) return TextFileEncoding::Utf8;
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  const QString asUtf8 = utf8.decode(bytes);
  if (utf8.hasError()) return TextFileEncoding::CodePage932;
  if (!cp932::decode(bytes).contains(QChar(0xFFFD))) {
    // Both readings hold: weigh them.
    if (!hasLongUtf8Sequence(bytes) && !readsAsLatinWords(asUtf8)) return TextFileEncoding::CodePage932;
  }
  return TextFileEncoding::Utf8;
}

TextFile textFromFileBytes(const QByteArray &bytes) {
  TextFile file;
  file.encoding = encodingOfTextFile(bytes);
  QString text;
  switch (file.encoding) {
    case TextFileEncoding::Utf16:
      text = QStringDecoder(bytes.startsWith(kUtf16LeBom) ? QStringDecoder::Utf16LE : QStringDecoder::Utf16BE)
                 .decode(bytes.mid(kUtf16LeBom.size()));
      break;
    case TextFileEncoding::Utf8:
      text = QString::fromUtf8(bytes.startsWith(kUtf8Bom) ? bytes.mid(kUtf8Bom.size()) : bytes);
      break;
    case TextFileEncoding::CodePage932:
      text = cp932::decode(bytes);
      break;
  }
  file.text.reserve(text.size() + 2);
  qsizetype lineStart = 0;
  const qsizetype n = text.size();
  for (qsizetype i = 0; i < n; ++i) {
    if (text[i] != u'\r') continue;
    file.text.append(QStringView(text).mid(lineStart, i - lineStart));
    file.text.append(u"\r\n");
    if (i + 1 < n && text[i + 1] == u'\n') ++i;
    lineStart = i + 1;
  }
  if (lineStart < n) {
    file.text.append(QStringView(text).mid(lineStart));
    file.text.append(u"\r\n");
  }
  return file;
}

TextFileRead readTextFile(const QString &path) {
  const QString where = QDir::toNativeSeparators(path);
  const auto refused = [](const QString &why) { return TextFileRead{std::nullopt, why}; };
  const auto tooBig = [&](const QString &size) {
    return refused(QStringLiteral("ファイルが大きすぎます（%1）。読み込めるのは 16 MiB までです"
                                  "（モジュールに送れるのは 2033 文字です）。\n%2")
                       .arg(size, where));
  };
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    return refused(QStringLiteral("ファイルを読み込めませんでした。\n%1\n%2").arg(where, file.errorString()));
  }
  const qint64 size = file.size();
  if (size > kMaxTextFileBytes) return tooBig(QStringLiteral("%1 バイト").arg(size));
  // At most one byte past the limit: devices and files under /proc tell no size.
  QByteArray bytes;
  while (bytes.size() <= kMaxTextFileBytes) {
    const QByteArray chunk = file.read(std::min<qint64>(1 << 20, kMaxTextFileBytes + 1 - bytes.size()));
    if (chunk.isEmpty()) break;
    bytes += chunk;
  }
  if (file.error() != QFileDevice::NoError) {
    return refused(QStringLiteral("ファイルを読み込めませんでした。\n%1\n%2").arg(where, file.errorString()));
  }
  if (bytes.size() > kMaxTextFileBytes) return tooBig(QStringLiteral("16 MiB を超えています"));
  if (!hasUtf16Bom(bytes) && bytes.contains('\0')) {
    return refused(QStringLiteral("テキストファイルではありません（NUL バイトを含んでいます）。\n%1").arg(where));
  }
  return {textFromFileBytes(bytes), {}};
}

}  // namespace vf
