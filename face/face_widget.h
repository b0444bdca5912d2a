#pragma once

#include "face/module_face.h"

#include <QElapsedTimer>
#include <QImage>
#include <QTimer>
#include <QWidget>

namespace vf {

// The module's face as a widget: 336 x 24 glowing dots showing a message as
// the module does, scrolling while the widget is visible. The virtual
// module's window and the program's preview both show it.
class FaceWidget : public QWidget {
  Q_OBJECT
 public:
  explicit FaceWidget(QWidget *parent = nullptr);

  // A message as the module received it: its text (U+FFFD where a character
  // has no display code) and the speed byte of frame 1.
  void showMessage(const QString &text, int speedByte);
  // The same, scrolled on from where the text shown before had got to.
  void replaceText(const QString &text, int speedByte);
  void clearDisplay();
  void cue();

  const ModuleFace &face() const { return face_; }
  QSize sizeHint() const override { return size(); }

  // Draws the face within this size, scaled down smoothly and keeping its
  // shape; at its own size (1,359 x 111) when that fits.
  void fitWithin(QSize room);
  qreal scale() const { return scale_; }

 protected:
  void paintEvent(QPaintEvent *event) override;
  void showEvent(QShowEvent *event) override;
  void hideEvent(QHideEvent *event) override;

 private:
  void tick();

  ModuleFace face_;
  QElapsedTimer clock_;
  QTimer ticker_;
  DotFrame shown_;
  QImage image_;
  qreal scale_ = 1.0;
};

}  // namespace vf
