#pragma once

#include <QMargins>
#include <QPoint>

#include <optional>

class QWidget;

namespace vf {

// The frame a window system draws around a window (title bar and borders):
// none before it has framed the window, and none offscreen.
QMargins frameMargins(const QWidget *window);

// The frame to place a window by: its own once framed, else that of `framed`
// (a window the same window system has framed already), else a title bar of
// the style's height.
QMargins assumedFrame(const QWidget *window, const QWidget *framed);

// Moves a window so that its frame's top left corner is at `at`, also while
// the window system has not framed it yet (then the frame is put there
// around it, where a plain move would put the window's inside there).
void moveFrameTo(QWidget *window, QPoint at);

// Where a window was put by its frame (moveTo), so that it can be put again
// once the window system has framed it, and follow the window it belongs to
// while it stays where it was put (the operator has not moved it).
class FramePlacement {
 public:
  void moveTo(QWidget *window, QPoint at);
  // Put before the window system had framed it, and framed now.
  bool framedSince(const QWidget *window) const;
  // Still where it was put.
  bool untouched(const QWidget *window) const;

 private:
  std::optional<QPoint> at_;
  QMargins frame_;  // its frame when it was put (none: not framed yet)
};

}  // namespace vf
