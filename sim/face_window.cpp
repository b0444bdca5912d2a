#include "sim/face_window.h"

#include <QPainter>

namespace vf {
namespace {
constexpr int kStatusHeight = 22;
}

FaceWindow::FaceWindow(const QString &devicePath, QWidget *parent) : QWidget(parent) {
  setWindowTitle(QStringLiteral("VF3360 virtual module — %1").arg(devicePath));
  image_ = renderFace(shown_);
  setFixedSize(image_.width(), image_.height() + kStatusHeight);
  setAutoFillBackground(false);
  clock_.start();
  ticker_.setInterval(16);
  connect(&ticker_, &QTimer::timeout, this, &FaceWindow::tick);
  ticker_.start();
}

void FaceWindow::handle(const ModuleEvent &event) {
  const qint64 now = clock_.elapsed();
  switch (event.kind) {
    case ModuleEvent::Kind::Message: face_.showMessage(event.text, event.speed, now); break;
    case ModuleEvent::Kind::DisplayClear: face_.clearDisplay(); break;
    case ModuleEvent::Kind::DataCue: face_.cue(now); break;
    case ModuleEvent::Kind::Update: ++updates_; break;
    case ModuleEvent::Kind::Fault: ++faults_; break;
    case ModuleEvent::Kind::Packet: faults_ += event.faults.empty() ? 0 : 1; break;
    default: break;
  }
  tick();
  update();
}

void FaceWindow::tick() {
  const DotFrame frame = face_.frameAt(clock_.elapsed());
  if (frame == shown_) return;
  shown_ = frame;
  image_ = renderFace(shown_);
  update(QRect(QPoint(0, 0), image_.size()));
}

QString FaceWindow::statusLine() const {
  QString line = face_.isBlank() ? QStringLiteral("blank")
                                 : QStringLiteral("speed %1: %2 dots/s")
                                       .arg(face_.speedByte())
                                       .arg(ModuleFace::dotsPerSecond(face_.speedByte()));
  line += QStringLiteral("   updates %1   faults %2").arg(updates_).arg(faults_);
  return line;
}

void FaceWindow::paintEvent(QPaintEvent *) {
  QPainter painter(this);
  painter.drawImage(0, 0, image_);
  const QRect status(0, image_.height(), width(), kStatusHeight);
  painter.fillRect(status, QColor(20, 24, 26));
  painter.setPen(QColor(150, 170, 170));
  painter.drawText(status.adjusted(8, 0, -8, 0), Qt::AlignVCenter | Qt::AlignLeft, statusLine());
}

}  // namespace vf
