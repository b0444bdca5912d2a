#pragma once

#include <QString>

#include <vector>

namespace vf {

// Something the operator sees during a command, in the order it happens:
// a modal message box, a new caption of the error label Label1, or the
// auto-update check box being cleared.
struct OperatorNotice {
  enum class Kind { MessageBox, Label1Caption, ClearCheck1 };
  Kind kind;
  QString text;

  bool operator==(const OperatorNotice &) const = default;
};

using NoticeLog = std::vector<OperatorNotice>;

}  // namespace vf
