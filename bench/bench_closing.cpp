// How long "終了" takes, in the real main window with its port on a
// pseudo-terminal:
//  (1) with nothing on its way: from the press to the end of the program;
//  (2) right after a 16-frame message (4,206 bytes) on a line that takes it in
//      the 2.19 s that 19200 baud needs: the pseudo-terminal holds the bytes
//      back for that long, then lets them go; every byte must arrive;
//  (3) on a line that takes nothing at all: the wait ends after the line
//      time and one second.
// Run offscreen:
//   QT_QPA_PLATFORM=offscreen build/bench/bench_closing [runs]

#include "spread.h"
#include "encoder/message_builder.h"
#include "tests/support/bytes.h"
#include "tests/support/rig.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// Presses 終了, after a 16-frame message on a held line if `sendFirst`, lets
// the line go `releaseMs` after the press (-1: never) and gives the time from
// the press to the end of the program, or -1 when bytes went missing.
double timeEnd(bool sendFirst, int releaseMs) {
  vf::rig::WindowRig rig;
  rig.start();
  const QString text(vf::kMaxInputLength, QChar(u'字'));
  if (sendFirst) {
    rig.window->findChild<vf::TextField *>(QStringLiteral("inputField"))->setFieldText(text);
    rig.module.line.holdOutput(true);
    rig.find<QPushButton>(QStringLiteral("convertAndSendButton"))->click();
  }
  QElapsedTimer clock;
  clock.start();
  if (releaseMs >= 0) QTimer::singleShot(releaseMs, [&] { rig.module.line.holdOutput(false); });
  rig.find<QPushButton>(QStringLiteral("endButton"))->click();
  while (rig.endRequests == 0 && clock.elapsed() < 10000) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 1);
  const double ms = clock.nsecsElapsed() / 1e6;
  rig.module.line.holdOutput(false);
  rig.module.settle();
  if (sendFirst && releaseMs >= 0 && !rig.module.bytes.startsWith(joined(vf::buildMessage(text, 1).writes))) return -1;
  return ms;
}

void print(const char *what, std::vector<double> ms) {
  const bench::Spread s = bench::spreadOf(std::move(ms));
  if (s.min < 0) {
    std::printf("%s: bytes went missing\n", what);
    return;
  }
  std::printf("%s, %zu runs: median %.2f ms, min %.2f ms, max %.2f ms\n", what, s.count, s.median, s.min, s.max);
}

}  // namespace

int main(int argc, char **argv) {
  QApplication app(argc, argv);
  const int runs = argc > 1 ? std::atoi(argv[1]) : 20;
  std::vector<double> idle, slowLine, stuck;
  for (int i = 0; i < runs; ++i) idle.push_back(timeEnd(false, -1));
  for (int i = 0; i < std::max(1, runs / 5); ++i) slowLine.push_back(timeEnd(true, 2190));
  stuck.push_back(timeEnd(true, -1));
  print("終了 with nothing on its way", idle);
  print("終了 right after 16 frames on a line that takes them in 2.19 s", slowLine);
  print("終了 after 16 frames on a line that takes nothing", stuck);
  return 0;
}
