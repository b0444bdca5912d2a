// The module's cue reply answered by the real main window, started from its
// portnum.ini with the port on a pseudo-terminal: the far end sends the
// four-byte reply 11 22 C0 00 and waits for the data cue command. Prints how
// long that round trip takes. Run offscreen:
//   QT_QPA_PLATFORM=offscreen build/bench/bench_window_cue_reply [replies]

#include "spread.h"
#include "tests/support/rig.h"

#include <QApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

int main(int argc, char **argv) {
  QApplication app(argc, argv);
  const int replies = argc > 1 ? std::atoi(argv[1]) : 500;

  vf::rig::WindowRig window;
  window.start();
  if (!window.dialogs.messages.isEmpty()) {
    std::fprintf(stderr, "the port did not open\n");
    return 1;
  }
  const QByteArray reply = QByteArray::fromHex("11 22 C0 00");
  const QByteArray dataCue = QByteArray::fromHex("00 00 18 00 00 18 EF");
  std::vector<double> millis;
  for (int i = 0; i < replies; ++i) {
    const auto start = std::chrono::steady_clock::now();
    window.module.line.write(reply);
    QByteArray answer;
    while (answer.size() < dataCue.size()) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
      answer += window.module.line.readFor(0);
    }
    if (answer != dataCue) return 1;
    millis.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
  }
  const bench::Spread s = bench::spreadOf(std::move(millis));
  std::printf("cue reply -> data cue through the window, %d replies: median %.2f ms, p95 %.2f ms, max %.2f ms\n",
              replies, s.median, s.at(0.95), s.max);
  return 0;
}
