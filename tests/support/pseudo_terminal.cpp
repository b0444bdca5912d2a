#include "tests/support/pseudo_terminal.h"

#include <QElapsedTimer>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

PseudoTerminal::PseudoTerminal() {
  char name[256] = {};
  termios raw{};
  cfmakeraw(&raw);
  if (openpty(&master_, &slave_, name, &raw, nullptr) != 0) {
    master_ = slave_ = -1;
    return;
  }
  fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
  path_ = QString::fromLocal8Bit(name);
}

PseudoTerminal::~PseudoTerminal() {
  closeFarEnd();
  releaseDeviceHandle();
}

QByteArray PseudoTerminal::readFor(int timeoutMs) {
  QByteArray out;
  if (master_ < 0) return out;
  pollfd pfd{master_, POLLIN, 0};
  while (poll(&pfd, 1, timeoutMs) > 0 && (pfd.revents & POLLIN)) {
    char buf[4096];
    const ssize_t n = ::read(master_, buf, sizeof buf);
    if (n <= 0) break;
    out.append(buf, n);
  }
  return out;
}

QByteArray PseudoTerminal::readExactly(int count, int timeoutMs) {
  QByteArray out;
  if (master_ < 0) return out;
  QElapsedTimer clock;
  clock.start();
  while (out.size() < count) {
    const int left = timeoutMs - static_cast<int>(clock.elapsed());
    if (left <= 0) break;
    pollfd pfd{master_, POLLIN, 0};
    if (poll(&pfd, 1, left) <= 0) break;
    char buf[4096];
    const ssize_t n = ::read(master_, buf, std::min<qsizetype>(sizeof buf, count - out.size()));
    if (n < 0 && errno == EAGAIN) continue;
    if (n <= 0) break;
    out.append(buf, n);
  }
  return out;
}

bool PseudoTerminal::write(const QByteArray &bytes) {
  qsizetype done = 0;
  while (master_ >= 0 && done < bytes.size()) {
    const ssize_t n = ::write(master_, bytes.constData() + done, bytes.size() - done);
    if (n < 0 && errno == EAGAIN) {
      pollfd pfd{master_, POLLOUT, 0};
      poll(&pfd, 1, 1000);
      continue;
    }
    if (n <= 0) return false;
    done += n;
  }
  return done == bytes.size();
}

void PseudoTerminal::closeFarEnd() {
  if (master_ >= 0) ::close(master_);
  master_ = -1;
}

void PseudoTerminal::releaseDeviceHandle() {
  if (slave_ >= 0) ::close(slave_);
  slave_ = -1;
}
