#pragma once

#include "protocol/face_text.h"

#include <QImage>
#include <QString>

#include <array>
#include <bitset>
#include <cstdint>
#include <vector>

namespace vf {

inline constexpr int kFaceColumns = 336;
inline constexpr int kFaceRows = 24;

// One picture of the module's face: which of its 336 x 24 dots are lit.
class DotFrame {
 public:
  bool lit(int x, int y) const { return rows_[static_cast<std::size_t>(y)].test(static_cast<std::size_t>(x)); }
  void set(int x, int y) { rows_[static_cast<std::size_t>(y)].set(static_cast<std::size_t>(x)); }
  int litCount() const;
  bool operator==(const DotFrame &) const = default;

 private:
  std::array<std::bitset<kFaceColumns>, kFaceRows> rows_{};
};

// A text drawn 24 dots high with the Japanese font (IPAGothic), one bit per
// dot, without smoothing: full-width characters are 24 x 24 dots, and
// kMarkedCell is a 24 x 24 box with a cross through it.
class TextMask {
 public:
  static TextMask render(const QString &text);

  int width() const { return width_; }
  bool lit(int x, int y) const { return bits_[static_cast<std::size_t>(y) * width_ + x] != 0; }
  // The last column with a lit dot, -1 when none is lit.
  int lastLitColumn() const { return lastLit_; }

 private:
  int width_ = 0;
  int lastLit_ = -1;
  std::vector<std::uint8_t> bits_;
};

// What the module shows: the text of the last message, scrolling from right
// to left at the rate of its speed code, blanked by the display clear command
// and started again from the beginning by the data cue command.
//
// The text enters at the right edge and moves one dot at a time; once it has
// passed, it enters again. The 14 blanks the program appends to every text
// are 336 dots wide, the width of the face, so the next pass begins as the
// blanks of the last one fill the face.
class ModuleFace {
 public:
  void showMessage(const QString &text, int speedByte, qint64 nowMs);
  // Another text in place of the one shown, scrolled as far as the old one
  // was (a preview that follows the typing does not start again at each key).
  void replaceText(const QString &text, int speedByte, qint64 nowMs);
  void clearDisplay();
  void cue(qint64 nowMs);

  bool isBlank() const { return blank_; }
  int speedByte() const { return speed_; }
  const QString &text() const { return text_; }
  // Dots the text has moved since it entered, within the current pass.
  qint64 scrollOffsetAt(qint64 nowMs) const;
  // Dots one whole pass takes.
  qint64 period() const;
  DotFrame frameAt(qint64 nowMs) const;

 private:
  QString text_;
  TextMask mask_;
  int speed_ = 0;
  qint64 startMs_ = 0;
  bool blank_ = true;
};

// The face drawn as glowing VFD dots: each dot 3 px with a 1 px gap, lit dots
// cyan-green with a soft glow, unlit dots faint, on a dark ground.
inline constexpr int kDotSize = 3;
inline constexpr int kDotPitch = 4;
inline constexpr int kFaceMargin = 8;
QImage renderFace(const DotFrame &frame);
// The pixel at the centre of dot (x, y) in the image of renderFace().
QPoint dotCentre(int x, int y);

}  // namespace vf
