// The reply gathering on a real pseudo-terminal with the program's own timing:
//  - a four-byte reply written in two pieces with a pause between them: how
//    often it still arrives as one event, and how long after its last byte
//    the event comes;
//  - a stream of junk as fast as the line takes it: throughput and how much
//    the peak memory of the process grows.

#include "spread.h"
#include "link/module_link.h"
#include "sim/pseudo_terminal.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

long peakResidentKiB() {
  QFile status(QStringLiteral("/proc/self/status"));
  if (!status.open(QIODevice::ReadOnly)) return -1;
  for (const QByteArray &line : status.readAll().split('\n')) {
    if (line.startsWith("VmHWM:")) return line.mid(6).trimmed().split(' ').first().toLong();
  }
  return -1;
}

void processUntil(const std::function<bool()> &done) {
  while (!done()) QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
}

}  // namespace

int main(int argc, char **argv) {
  QCoreApplication app(argc, argv);
  const int replies = argc > 1 ? std::atoi(argv[1]) : 200;
  const int junkMiB = argc > 2 ? std::atoi(argv[2]) : 64;

  vf::PseudoTerminal pty;
  vf::ModuleLink link([&](int, vf::ConnectionKind) { return pty.path(); });
  if (!link.open(1, vf::ConnectionKind::Rs232c).open) return 1;
  std::vector<vf::LinkEvent> events;
  qint64 counted = 0;
  std::chrono::steady_clock::time_point lastEvent;
  QObject::connect(&link, &vf::ModuleLink::event, [&](const vf::LinkEvent &e) {
    lastEvent = std::chrono::steady_clock::now();
    events.push_back(e);
    counted += e.byteCount;
  });

  std::printf("quiet time %d ms, longest burst %d ms\n", vf::ModuleLink::kQuietMs, vf::ModuleLink::kMaxBurstMs);
  for (const int pauseUs : {0, 1000, 2000, 3000}) {
    int whole = 0;
    std::vector<double> latencyMs;
    for (int i = 0; i < replies; ++i) {
      events.clear();
      counted = 0;
      std::atomic<bool> written{false};
      std::chrono::steady_clock::time_point lastByte;
      std::thread writer([&] {
        pty.write(QByteArray("\x11\x22", 2));
        if (pauseUs > 0) std::this_thread::sleep_for(std::chrono::microseconds(pauseUs));
        pty.write(QByteArray("\xC0\x00", 2));
        lastByte = std::chrono::steady_clock::now();
        written = true;
      });
      processUntil([&] { return written && counted == 4; });
      writer.join();
      if (events.size() == 1) ++whole;
      latencyMs.push_back(std::chrono::duration<double, std::milli>(lastEvent - lastByte).count());
    }
    const bench::Spread s = bench::spreadOf(latencyMs);
    std::printf("reply in two pieces %d us apart: %d of %d as one event; last byte -> event median %.2f ms, "
                "p95 %.2f ms\n",
                pauseUs, whole, replies, s.median, s.at(0.95));
  }

  events.clear();
  counted = 0;
  const long peakBefore = peakResidentKiB();
  const qint64 total = qint64(junkMiB) << 20;
  QElapsedTimer clock;
  clock.start();
  std::thread writer([&] {
    QByteArray junk(65536, '\x5A');
    for (qint64 done = 0; done < total; done += junk.size()) pty.write(junk);
  });
  processUntil([&] { return counted == total; });
  writer.join();
  const double seconds = clock.nsecsElapsed() / 1e9;
  std::printf("%d MiB of junk: %.0f MiB/s, %zu events, peak memory grew by %ld KiB\n", junkMiB, junkMiB / seconds,
              events.size(), peakResidentKiB() - peakBefore);
  return 0;
}
