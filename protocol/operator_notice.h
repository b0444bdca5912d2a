#pragma once

#include <QString>

#include <vector>

namespace vf {

// What the encoder tells the operator, in the order it happens: a modal
// message box, or a new caption of the error label Label1.
struct OperatorNotice {
  enum class Kind { MessageBox, Label1Caption };
  Kind kind;
  QString text;

  bool operator==(const OperatorNotice &) const = default;
};

using NoticeLog = std::vector<OperatorNotice>;

// An error as the encoder reports it: a message box, then Label1's caption.
inline void reportError(NoticeLog &log, const QString &message, const QString &caption) {
  log.push_back({OperatorNotice::Kind::MessageBox, message});
  log.push_back({OperatorNotice::Kind::Label1Caption, caption});
}

}  // namespace vf
