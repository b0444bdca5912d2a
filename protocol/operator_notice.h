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

}  // namespace vf
