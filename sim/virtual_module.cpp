#include "sim/virtual_module.h"

#include "protocol/reply.h"

#include <QSocketNotifier>

#include <unistd.h>

#include <cerrno>

namespace vf {

VirtualModule::VirtualModule(QObject *parent) : QObject(parent) {
  quiet_.setSingleShot(true);
  quiet_.setInterval(kQuietMs);
  connect(&quiet_, &QTimer::timeout, this, &VirtualModule::lineQuiet);
  // After a hang-up the far end reports it until someone opens the device
  // again; reading is paused for a moment instead of spinning.
  resume_.setSingleShot(true);
  resume_.setInterval(100);
  connect(&resume_, &QTimer::timeout, this, [this] {
    if (notifier_) notifier_->setEnabled(true);
  });
}

VirtualModule::~VirtualModule() = default;

bool VirtualModule::open(QString *error) {
  if (!line_.isValid()) {
    if (error) *error = line_.error();
    return false;
  }
  notifier_ = std::make_unique<QSocketNotifier>(line_.farEnd(), QSocketNotifier::Read);
  connect(notifier_.get(), &QSocketNotifier::activated, this, &VirtualModule::readLine);
  return true;
}

void VirtualModule::readLine() {
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(line_.farEnd(), buffer, sizeof buffer);
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
    if (e.is<decoded::Message>() && cueAfterMs_ >= 0) {
      QTimer::singleShot(cueAfterMs_, this, [this] { sendCueReply(); });
    }
  }
}

bool VirtualModule::sendCueReply() {
  const QByteArray bytes = cueReply(kind_);
  if (!line_.isValid()) {
    emit cueReplyFailed(QStringLiteral("the line is not open"));
    return false;
  }
  if (!line_.write(bytes)) {
    emit cueReplyFailed(QStringLiteral("the line did not take the %1 bytes").arg(bytes.size()));
    return false;
  }
  emit cueReplySent(bytes);
  return true;
}

}  // namespace vf
