#include "face/face_widget.h"

#include <QPainter>

#include <algorithm>

namespace vf {

FaceWidget::FaceWidget(QWidget *parent) : QWidget(parent), image_(renderFace(shown_)) {
  setFixedSize(image_.size());
  clock_.start();
  ticker_.setInterval(16);
  connect(&ticker_, &QTimer::timeout, this, &FaceWidget::tick);
}

void FaceWidget::showMessage(const QString &text, int speedByte) {
  face_.showMessage(text, speedByte, clock_.elapsed());
  tick();
}

void FaceWidget::replaceText(const QString &text, int speedByte) {
  face_.replaceText(text, speedByte, clock_.elapsed());
  tick();
}

void FaceWidget::clearDisplay() {
  face_.clearDisplay();
  tick();
}

void FaceWidget::cue() {
  face_.cue(clock_.elapsed());
  tick();
}

void FaceWidget::tick() {
  const DotFrame frame = face_.frameAt(clock_.elapsed());
  if (frame == shown_) return;
  shown_ = frame;
  image_ = renderFace(shown_);
  update();
}

void FaceWidget::fitWithin(QSize room) {
  scale_ = std::min({1.0, qreal(std::max(1, room.width())) / image_.width(),
                     qreal(std::max(1, room.height())) / image_.height()});
  setFixedSize((QSizeF(image_.size()) * scale_).toSize());
}

void FaceWidget::paintEvent(QPaintEvent *) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::SmoothPixmapTransform, scale_ < 1.0);
  painter.drawImage(rect(), image_);
}

void FaceWidget::showEvent(QShowEvent *) { ticker_.start(); }

void FaceWidget::hideEvent(QHideEvent *) { ticker_.stop(); }

}  // namespace vf
