#pragma once

#include "face/face_widget.h"
#include "protocol/module_decoder.h"

#include <QLabel>
#include <QWidget>

namespace vf {

// The virtual module's window: its face, and a line about what it last took.
class FaceWindow : public QWidget {
  Q_OBJECT
 public:
  explicit FaceWindow(const QString &devicePath, QWidget *parent = nullptr);

  void handle(const ModuleEvent &event);
  const ModuleFace &face() const { return face_->face(); }

 private:
  void showStatus();

  FaceWidget *face_;
  QLabel *status_;
  qint64 updates_ = 0;
  qint64 faults_ = 0;
};

}  // namespace vf
