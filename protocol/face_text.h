#pragma once

#include <QByteArray>
#include <QChar>
#include <QString>

#include <vector>

namespace vf {

// Stands for a character the module has no display code for: the face draws
// it as a marked cell, a box with a cross through it.
inline constexpr QChar kMarkedCell(0xFFFD);

// What the module's face shows of a message: its text and the speed byte of
// frame 1 (0 .. 3; -1 when frame 1 carried none).
struct FaceText {
  QString text;
  int speedByte = 0;
};

// The face after the module has read the writes of one message, as the
// module-side decoder reads them. A frame stops at a character without a
// display code: it shows what came before the character, then a marked cell,
// and nothing of the frame after it. stoppedAtUnusable[i] tells whether frame
// i + 1 stopped so; packets beyond its size are not shown.
FaceText faceTextOf(const std::vector<QByteArray> &writes, const std::vector<bool> &stoppedAtUnusable);

// How fast the face scrolls, in dots per second, for the speed byte of frame
// 1: 0 -> 192, 1 -> 96, 2 -> 48, 3 -> 24 (8, 4, 2, 1 full-width characters a
// second). A message without a valid speed code scrolls at the rate of 0.
int scrollDotsPerSecond(int speedByte);

}  // namespace vf
