#include "tools/stop_signals.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace vf {

namespace {

int pair[2] = {-1, -1};

void handle(int signal) {
  const int saved = errno;
  const unsigned char number = static_cast<unsigned char>(signal);
  [[maybe_unused]] const ssize_t written = ::write(pair[0], &number, 1);
  errno = saved;
}

}  // namespace

StopSignals::StopSignals(QObject *parent) : QObject(parent) {
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) return;
  ::fcntl(pair[0], F_SETFL, O_NONBLOCK);
  notifier_ = new QSocketNotifier(pair[1], QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, [this] {
    unsigned char number = 0;
    if (::read(pair[1], &number, 1) == 1) emit received(number);
  });
  struct sigaction action = {};
  action.sa_handler = handle;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  ::sigaction(SIGTERM, &action, nullptr);
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGHUP, &action, nullptr);
}

StopSignals::~StopSignals() {
  ::signal(SIGTERM, SIG_DFL);
  ::signal(SIGINT, SIG_DFL);
  ::signal(SIGHUP, SIG_DFL);
  delete notifier_;
  for (int &fd : pair) {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
}

}  // namespace vf
