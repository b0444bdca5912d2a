#pragma once

#include "encoder/message_builder.h"

#include <QString>

#include <vector>

namespace vf {

// One thing the operator sees change during convert-and-send.
struct RunStep {
  enum class Kind {
    SetText,        // the field or label `name` now reads `text`
    MessageBox,     // a modal message box with `text`
    ClearCheck1,    // the auto-update check box is cleared
    SelectInText3,  // characters [from, to) of Text3 are selected and shown
  };
  Kind kind = Kind::SetText;
  QString name;  // SetText: Text1 .. Text37, Label1, Label14
  QString text;
  qsizetype from = 0;
  qsizetype to = 0;
};

// The run as the window shows it, step by step in the order the operator
// sees it: every field and label the run writes, when it writes it, with the
// message boxes where they fall. A box in the middle of a frame finds the
// fields as they stand then: Label14 "変換中...", Text13 up to the character
// that could not be converted, Text21 and the later frame fields as the
// run before left them. After the first "使用不可能な文字が含まれています" the
// character that caused it is selected in Text3.
//
// packetLeft: Text13 held a packet when the run began.
std::vector<RunStep> presentRun(const BuiltMessage &message, bool packetLeft);

}  // namespace vf
