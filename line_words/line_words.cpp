#include "line_words/line_words.h"

namespace vf {

QString openFailureText(const PortOpenResult &result) {
  const QString why = result.failure == PortOpenResult::Failure::NoPortNumber
                          ? QStringLiteral("ポート番号（1 … 16）が選ばれていません")
                          : result.systemError;
  QString detail = result.device.isEmpty() ? why : result.device + QStringLiteral(": ") + why;
  if (dialoutRemedyApplies(result)) {
    // The command on a line of its own, so that no line break falls inside it.
    const QString user = userName(userIdsOfThisProcess().uid);
    detail += QStringLiteral("\nシリアルポートを使うには、dialout グループに入ってからログインし直してください:\n"
                             "sudo usermod -aG dialout %1")
                  .arg(user);
  }
  return detail;
}

QString writeFailureText(const WriteFailure &failure) {
  if (failure.kind == WriteFailure::Kind::NotOpen) return QStringLiteral("ポートが開いていません");
  if (failure.kind == WriteFailure::Kind::Stalled)
    return QStringLiteral("回線が受け取らず、%1 バイトを送信できませんでした").arg(failure.bytesLeft);
  return QStringLiteral("シリアルポートへの書き込みに失敗しました（%1）").arg(failure.systemError);
}

}  // namespace vf
