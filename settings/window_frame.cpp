#include "settings/window_frame.h"

#include <QStyle>
#include <QWidget>
#include <QWindow>

namespace vf {

QMargins frameMargins(const QWidget *window) {
  const QRect frame = window->frameGeometry();
  const QRect inner = window->geometry();
  return {inner.left() - frame.left(), inner.top() - frame.top(), frame.right() - inner.right(),
          frame.bottom() - inner.bottom()};
}

QMargins assumedFrame(const QWidget *window, const QWidget *framed) {
  QMargins frame = frameMargins(window);
  if (frame.isNull() && framed) frame = frameMargins(framed);
  if (frame.isNull()) frame.setTop(window->style()->pixelMetric(QStyle::PM_TitleBarHeight));
  return frame;
}

void moveFrameTo(QWidget *window, QPoint at) {
  if (QWindow *handle = window->windowHandle(); handle && frameMargins(window).isNull())
    handle->setFramePosition(at);
  else
    window->move(at);
}

void FramePlacement::moveTo(QWidget *window, QPoint at) {
  frame_ = frameMargins(window);
  at_ = at;
  moveFrameTo(window, at);
}

bool FramePlacement::framedSince(const QWidget *window) const {
  return at_ && frame_.isNull() && !frameMargins(window).isNull();
}

bool FramePlacement::untouched(const QWidget *window) const { return at_ && window->pos() == *at_; }

}  // namespace vf
