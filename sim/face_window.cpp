#include "sim/face_window.h"

#include "protocol/face_text.h"

#include <QVBoxLayout>

namespace vf {

FaceWindow::FaceWindow(const QString &devicePath, QWidget *parent)
    : QWidget(parent), face_(new FaceWidget(this)), status_(new QLabel(this)) {
  setWindowTitle(QStringLiteral("VF3360 virtual module — %1").arg(devicePath));
  auto *layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(face_);
  layout->addWidget(status_);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  status_->setContentsMargins(8, 3, 8, 3);
  status_->setStyleSheet(QStringLiteral("background: rgb(20, 24, 26); color: rgb(150, 170, 170);"));
  showStatus();
}

void FaceWindow::handle(const ModuleEvent &event) {
  std::visit(Overloaded{
                 [&](const decoded::Message &m) { face_->showMessage(m.text, m.speed); },
                 [&](const decoded::DisplayClear &) { face_->clearDisplay(); },
                 [&](const decoded::DataCue &) { face_->cue(); },
                 [&](const decoded::Update &) { ++updates_; },
                 [&](const decoded::Fault &) { ++faults_; },
                 [&](const decoded::Packet &p) { faults_ += p.faults.empty() ? 0 : 1; },
                 [](const decoded::MessageStart &) {},
                 [](const decoded::FrameCount &) {},
             },
             event.what);
  showStatus();
}

void FaceWindow::showStatus() {
  const ModuleFace &f = face_->face();
  QString line = f.isBlank() ? QStringLiteral("blank")
                             : QStringLiteral("speed %1: %2 dots/s").arg(f.speedByte()).arg(scrollDotsPerSecond(f.speedByte()));
  status_->setText(line + QStringLiteral("   updates %1   faults %2").arg(updates_).arg(faults_));
}

}  // namespace vf
