#include "protocol/reply.h"

#include "protocol/cp932.h"

namespace vf {

namespace {
constexpr char kCueByte = static_cast<char>(0xC0);  // "ﾀ" in code page 932
}

ReplyVerdict judgeReply(QByteArrayView bytes, ConnectionKind kind) {
  ReplyVerdict verdict;
  if (kind == ConnectionKind::UsbConverter) {
    verdict.sendDataCue = !bytes.isEmpty() && bytes[0] == kCueByte;
    return verdict;
  }
  QString text;
  if (bytes.size() >= 4) {
    text = cp932::decode(bytes.sliced(2, 2).toByteArray());
    const qsizetype nul = text.indexOf(QChar(u'\0'));
    if (nul >= 0) text.truncate(nul);
  }
  verdict.sendDataCue = text == QStringLiteral("ﾀ");
  verdict.replyText = std::move(text);
  return verdict;
}

QByteArray cueReply(ConnectionKind kind) {
  return kind == ConnectionKind::Rs232c ? QByteArray("\x00\x00\xC0\x00", 4) : QByteArray("\xC0\x00\x00\x00", 4);
}

}  // namespace vf
