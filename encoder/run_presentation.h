#pragma once

#include "encoder/message_builder.h"

#include <QString>

#include <variant>
#include <vector>

namespace vf {

// The places where the window shows a run, by what they show.
enum class RunField {
  ModuleText,        // the text as the module gets it (first the padded text, then normalised)
  CharacterCount,    // the padded text's length
  FrameText,         // the text of the frame being built
  JisDigits,         // "JIS(16進数)" of the frame
  JisBits,           // "JIS(2進数)" of the frame
  PacketText,        // the packet as hex text, as far as it is built
  Checksum,          // the packet's checksum, four hex digits
  PackedPacket,      // the packet as packed hex digits, in the send phase the one going out
  FrameCount,        // how many frames the message has
  FramePacket,       // one frame's packed digits, kept after the run (with its frame number)
  ConversionStatus,  // "変換中..." / "変換完了！"
  ErrorCaption,      // "文字コード ERROR"
};

// One thing the operator sees change during convert-and-send.
struct SetField {
  RunField field;
  QString text;
  int frame = 0;  // FramePacket: 1 .. 16
};
struct ShowMessage {  // a modal message box
  QString text;
};
struct ClearAutoUpdate {};  // the auto-update check box is cleared
struct SelectInInput {      // characters [from, to) of the operator's text are selected and shown
  qsizetype from = 0;
  qsizetype to = 0;
};
using RunStep = std::variant<SetField, ShowMessage, ClearAutoUpdate, SelectInInput>;

// The run as the window shows it, step by step in the order the operator
// sees it: every field and label the run writes, when it writes it, with the
// message boxes where they fall. A box in the middle of a frame finds the
// fields as they stand then: the status "変換中...", the packet text up to the
// character that could not be converted, the frame count and the later frame
// fields as the run before left them. After the first
// "使用不可能な文字が含まれています" the character that caused it is selected.
//
// packetLeft: the packet text held a packet when the run began.
std::vector<RunStep> presentRun(const BuiltMessage &message, bool packetLeft);

// The words of a run that sends nothing ("文字数オーバー（2034文字、最大2033文字）"
// with the count of the text's characters, "文字を入力してください"), as the
// window's box, vf3360-send and the bridge's refusal say them; empty for a
// run that sends.
QString refusalText(RunOutcome outcome, qsizetype characters);

}  // namespace vf
