#pragma once

#include "protocol/module_decoder.h"
#include "sim/module_face.h"

#include <QElapsedTimer>
#include <QImage>
#include <QTimer>
#include <QWidget>

namespace vf {

// The virtual module's window: its face, and a line about what it last took.
class FaceWindow : public QWidget {
  Q_OBJECT
 public:
  explicit FaceWindow(const QString &devicePath, QWidget *parent = nullptr);

  void handle(const ModuleEvent &event);
  const ModuleFace &face() const { return face_; }
  // The picture the window shows at the moment.
  const QImage &faceImage() const { return image_; }

 protected:
  void paintEvent(QPaintEvent *event) override;

 private:
  void tick();
  QString statusLine() const;

  ModuleFace face_;
  QElapsedTimer clock_;
  QTimer ticker_;
  DotFrame shown_;
  QImage image_;
  qint64 updates_ = 0;
  qint64 faults_ = 0;
};

}  // namespace vf
