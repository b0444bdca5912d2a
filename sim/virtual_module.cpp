#include "sim/virtual_module.h"

#include <QSocketNotifier>

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vf {

QByteArray cueReply(CueReplyKind kind) {
  return kind == CueReplyKind::Rs232c ? QByteArray("\x00\x00\xC0\x00", 4) : QByteArray("\xC0\x00\x00\x00", 4);
}

VirtualModule::VirtualModule(QObject *parent) : QObject(parent) {
  quiet_.setSingleShot(true);
  quiet_.setInterval(kQuietMs);
  connect(&quiet_, &QTimer::timeout, this, &VirtualModule::lineQuiet);
  // After a hang-up the master reports it until someone opens the device
  // again; reading is paused for a moment instead of spinning.
  resume_.setSingleShot(true);
  resume_.setInterval(100);
  connect(&resume_, &QTimer::timeout, this, [this] {
    if (notifier_) notifier_->setEnabled(true);
  });
}

VirtualModule::~VirtualModule() {
  delete notifier_;
  if (master_ >= 0) ::close(master_);
  if (device_ >= 0) ::close(device_);
}

bool VirtualModule::open(QString *error) {
  char name[256] = {};
  termios raw{};
  cfmakeraw(&raw);
  cfsetispeed(&raw, B19200);
  cfsetospeed(&raw, B19200);
  if (openpty(&master_, &device_, name, &raw, nullptr) != 0) {
    if (error) *error = QStringLiteral("cannot open a pseudo-terminal: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
    master_ = device_ = -1;
    return false;
  }
  fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
  fcntl(master_, F_SETFD, FD_CLOEXEC);
  fcntl(device_, F_SETFD, FD_CLOEXEC);
  path_ = QString::fromLocal8Bit(name);
  notifier_ = new QSocketNotifier(master_, QSocketNotifier::Read);
  connect(notifier_, &QSocketNotifier::activated, this, &VirtualModule::readLine);
  return true;
}

void VirtualModule::readLine() {
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(master_, buffer, sizeof buffer);
    if (n > 0) {
      report(decoder_.feed(QByteArrayView(buffer, n)));
      quiet_.start();
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) return;
    // EIO or end of file: the device side hung up. Keep going.
    notifier_->setEnabled(false);
    resume_.start();
    return;
  }
}

void VirtualModule::lineQuiet() { report(decoder_.flush()); }

void VirtualModule::report(const std::vector<ModuleEvent> &events) {
  for (const ModuleEvent &e : events) {
    emit decoded(e);
    if (e.kind == ModuleEvent::Kind::Message && cueAfterMs_ >= 0) {
      QTimer::singleShot(cueAfterMs_, this, [this] { sendCueReply(); });
    }
  }
}

bool VirtualModule::sendCueReply() {
  const QByteArray bytes = cueReply(kind_);
  if (master_ < 0) {
    emit cueReplyFailed(QStringLiteral("the line is not open"));
    return false;
  }
  const ssize_t n = ::write(master_, bytes.constData(), static_cast<size_t>(bytes.size()));
  if (n != bytes.size()) {
    emit cueReplyFailed(n < 0 ? QString::fromLocal8Bit(std::strerror(errno))
                              : QStringLiteral("only %1 of %2 bytes taken").arg(n).arg(bytes.size()));
    return false;
  }
  emit cueReplySent(bytes);
  return true;
}

}  // namespace vf
