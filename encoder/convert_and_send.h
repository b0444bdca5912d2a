#pragma once

#include "encoder/operator_notice.h"
#include "link/packet.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <optional>
#include <vector>

namespace vf {

inline constexpr int kPaddingLength = 14;        // full-width blanks appended to the text
inline constexpr int kMaxPaddedLength = 2047;    // 127 + 15 * 128
inline constexpr int kMaxInputLength = kMaxPaddedLength - kPaddingLength;  // 2033

// What the operator's convert-and-send needs from the window.
struct ConvertRequest {
  QString text;                          // Text3
  int speedOption = 1;                   // selected option button, 1 .. 5
  bool packetLeftFromEarlierRun = false;  // Text13 not empty when the run starts
};

// How the run ended.
enum class RunOutcome {
  Sent,      // the message was built and its writes are in `writes`
  TooLong,   // "文字数オーバー": nothing converted or sent
  Empty,     // "文字を入力してください": nothing converted or sent
};

// Everything one run of convert-and-send does, for the window to apply: the
// final contents of every field it writes (a field left alone is nullopt), what
// the operator sees in order, and the writes to the serial port in order.
struct ConvertRunResult {
  RunOutcome outcome = RunOutcome::Sent;

  std::optional<QString> text1;   // normalised text
  std::optional<QString> text19;  // character count of the padded text
  std::optional<QString> text4;   // JIS digits of the last frame
  std::optional<QString> text6;   // JIS bits of the last frame
  std::optional<QString> text13;  // hex text of the last packet
  std::optional<QString> text14;  // checksum digits of the last packet
  std::optional<QString> text15;  // packed digits of the last packet sent
  std::optional<QString> text20;  // frame work field (always ends empty)
  std::optional<QString> text21;  // frame count
  std::optional<QString> label14; // conversion status
  // Text22 .. Text37: the packed digits of each frame this run built.
  std::array<std::optional<QString>, kMaxFrames> frameFields;

  NoticeLog notices;               // message boxes, Label1 captions, Check1 cleared
  std::vector<QByteArray> writes;  // start command, frame count command, packets
  bool enableTimerAfterSend = false;
  bool unusableCharacter = false;  // some character could not be converted

  int framesBuilt() const;
};

// One run of convert-and-send, from the operator's text to the bytes on the
// line. Pure: touches no window and no port.
ConvertRunResult runConvertAndSend(const ConvertRequest &request);

}  // namespace vf
