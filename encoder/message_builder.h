#pragma once

#include "protocol/character_conversion.h"
#include "protocol/face_text.h"
#include "protocol/packet.h"
#include "protocol/text_normalisation.h"

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <vector>

namespace vf {

inline constexpr int kPaddingLength = 14;        // full-width blanks appended to the text
inline constexpr int kMaxPaddedLength = 2047;    // 127 + 15 * 128
inline constexpr int kMaxInputLength = kMaxPaddedLength - kPaddingLength;  // 2033

// How a convert-and-send ends.
enum class RunOutcome {
  Sent,      // the message was built; its writes are ready
  TooLong,   // "文字数オーバー": nothing converted or sent
  Empty,     // "文字を入力してください": nothing converted or sent
};

// One frame as the conversion built it.
struct BuiltFrame {
  qsizetype start = 0;         // first character of the frame in the normalised text
  qsizetype length = 0;        // characters in the frame
  std::vector<JisCode> jis;    // the JIS code of every character of the frame
  QByteArray packet;           // its 262 bytes
  int dataBytes = 0;           // display code bytes in the packet
  // The conversion stopped at an unusable character: its place in the
  // normalised text, or -1.
  qsizetype unusableAt = -1;
};

// Everything one convert-and-send builds from the operator's text: the
// normalised text, each frame, and the writes of the message in order. Pure.
struct BuiltMessage {
  RunOutcome outcome = RunOutcome::Sent;
  QString padded;                // the text followed by the padding (before width conversion)
  NormalisedText normalised;     // the padded text as the module gets it
  std::vector<BuiltFrame> frames;
  std::vector<QByteArray> writes;  // message start, frame count, one packet per frame

  // Where the first character that stopped a frame stands in the operator's
  // text, [from, to) (a whole character); from == to when every character was converted.
  qsizetype firstUnusableFrom = 0;
  qsizetype firstUnusableTo = 0;
  bool hasUnusable() const { return firstUnusableTo > firstUnusableFrom; }
};

// The frames a message of so many characters takes (after the text rules,
// padding included): 127 in frame 1, 128 in each after it.
constexpr int framesFor(qsizetype characters) {
  constexpr int first = kFirstFrameDataBytes / 2, later = kLaterFrameDataBytes / 2;
  return characters <= first ? 1 : 1 + static_cast<int>((characters - first + later - 1) / later);
}

// Speed option 1 .. 5, fastest first.
BuiltMessage buildMessage(QStringView text, int speedOption);
// What the module's face shows once it has read the message: each frame up
// to a character it has no code for, marked there.
FaceText faceTextOf(const BuiltMessage &message);
// How buildMessage would end for this text, without building anything.
RunOutcome runOutcomeOf(QStringView text);

}  // namespace vf
