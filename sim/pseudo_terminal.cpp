#include "sim/pseudo_terminal.h"

#include <QElapsedTimer>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace vf {

PseudoTerminal::PseudoTerminal() {
  char name[256] = {};
  termios raw{};
  cfmakeraw(&raw);
  cfsetispeed(&raw, B19200);
  cfsetospeed(&raw, B19200);
  if (openpty(&farEnd_, &device_, name, &raw, nullptr) != 0) {
    error_ = QStringLiteral("cannot open a pseudo-terminal: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
    farEnd_ = device_ = -1;
    return;
  }
  fcntl(farEnd_, F_SETFL, fcntl(farEnd_, F_GETFL) | O_NONBLOCK);
  fcntl(farEnd_, F_SETFD, FD_CLOEXEC);
  fcntl(device_, F_SETFD, FD_CLOEXEC);
  path_ = QString::fromLocal8Bit(name);
}

PseudoTerminal::~PseudoTerminal() {
  closeFarEnd();
  releaseDeviceHandle();
}

QByteArray PseudoTerminal::readFor(int timeoutMs) {
  QByteArray out;
  pollfd pfd{farEnd_, POLLIN, 0};
  while (farEnd_ >= 0 && poll(&pfd, 1, timeoutMs) > 0 && (pfd.revents & POLLIN)) {
    char buffer[4096];
    const ssize_t n = ::read(farEnd_, buffer, sizeof buffer);
    if (n <= 0) break;
    out.append(buffer, n);
  }
  return out;
}

QByteArray PseudoTerminal::readExactly(int count, int timeoutMs) {
  QByteArray out;
  QElapsedTimer clock;
  clock.start();
  while (farEnd_ >= 0 && out.size() < count) {
    const int left = timeoutMs - static_cast<int>(clock.elapsed());
    pollfd pfd{farEnd_, POLLIN, 0};
    if (left <= 0 || poll(&pfd, 1, left) <= 0) break;
    char buffer[4096];
    const ssize_t n = ::read(farEnd_, buffer, std::min<qsizetype>(sizeof buffer, count - out.size()));
    if (n < 0 && errno == EAGAIN) continue;
    if (n <= 0) break;
    out.append(buffer, n);
  }
  return out;
}

bool PseudoTerminal::write(const QByteArray &bytes) {
  qsizetype done = 0;
  while (farEnd_ >= 0 && done < bytes.size()) {
    const ssize_t n = ::write(farEnd_, bytes.constData() + done, bytes.size() - done);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
      pollfd pfd{farEnd_, POLLOUT, 0};
      poll(&pfd, 1, 1000);
      continue;
    }
    if (n <= 0) return false;
    done += n;
  }
  return done == bytes.size();
}

bool PseudoTerminal::holdOutput(bool hold) { return device_ >= 0 && ::tcflow(device_, hold ? TCOOFF : TCOON) == 0; }

void PseudoTerminal::closeFarEnd() {
  if (farEnd_ >= 0) ::close(farEnd_);
  farEnd_ = -1;
}

void PseudoTerminal::releaseDeviceHandle() {
  if (device_ >= 0) ::close(device_);
  device_ = -1;
}

}  // namespace vf
