// The real main window with its port on a pseudo-terminal, timed at both ends.
//  (1) How long "変換 + 送信" keeps the window busy for a 2033-character text
//      (16 frames): the run, every field it fills and the 4206 bytes handed
//      to the port.
//  (2) From pressing "変換 + 送信" to the last byte of the message read at the
//      far end, for 1 and for 16 frames. A pseudo-terminal is not held to
//      19200 baud, so this is the program's share; the line itself needs
//      2.19 s for 16 frames.
//  (3) Auto update over some seconds, read at the far end through the
//      module-side decoder by a reader thread while the window runs its own
//      event loop: update commands per second, and the smallest gap between
//      two of them, while messages are sent in between and after.
// Run offscreen:
//   QT_QPA_PLATFORM=offscreen build/bench/bench_far_end [runs] [seconds]

#include "spread.h"
#include "tests/support/rig.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double millisBetween(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double, std::milli>(b - a).count(); }

void print(const char *what, std::vector<double> millis) {
  const bench::Spread s = bench::spreadOf(std::move(millis));
  std::printf("%s, %zu runs: median %.2f ms, p90 %.2f ms, min %.2f ms, max %.2f ms\n", what, s.count, s.median, s.at(0.9),
              s.min, s.max);
}

QString textOf(int length) {
  const QString sample = QStringLiteral("漢字かなカナABC abc 123 ｶｷｸ「」、。！？\r\n堯弌");
  QString text;
  while (text.size() < length) text += sample;
  return text.left(length);
}

}  // namespace

int main(int argc, char **argv) {
  QApplication app(argc, argv);
  const int runs = argc > 1 ? std::atoi(argv[1]) : 200;
  const int seconds = argc > 2 ? std::atoi(argv[2]) : 10;

  vf::rig::WindowRig window;
  window.start();
  auto *sendButton = window.find<QPushButton>(QStringLiteral("convertAndSendButton"));
  auto *updateTick = window.find<QTimer>(QStringLiteral("updateTick"));
  auto *input = window.find<vf::TextField>(QStringLiteral("inputField"));

  for (const int frames : {1, 16}) {
    input->setFieldText(frames == 1 ? QStringLiteral("VF3360 漢字表示テスト") : textOf(vf::kMaxInputLength));
    const qsizetype messageBytes = 14 + 262 * frames;
    std::vector<double> busy, farEnd;
    for (int i = 0; i < runs; ++i) {
      qsizetype received = 0;
      const Clock::time_point start = Clock::now();
      sendButton->click();
      busy.push_back(millisBetween(start, Clock::now()));
      Clock::time_point last = start;
      while (received < messageBytes && Clock::now() < start + std::chrono::seconds(10)) {
        QCoreApplication::processEvents();
        if (const qsizetype got = window.module.line.readFor(0).size()) {
          received += got;
          last = Clock::now();
        }
      }
      updateTick->stop();
      window.module.line.readFor(30);
      if (received < messageBytes) return 1;
      farEnd.push_back(millisBetween(start, last));
    }
    if (frames == 16) print("window busy with 変換 + 送信, 16 frames", busy);
    print(frames == 1 ? "press to last byte at the far end, 1 frame (276 bytes)"
                      : "press to last byte at the far end, 16 frames (4206 bytes)",
          farEnd);
  }

  // Auto update, with a 16-frame message sent every second in the first half.
  std::atomic<bool> reading{true};
  std::mutex lock;
  std::vector<Clock::time_point> updates;
  int faults = 0;
  std::thread reader([&] {
    vf::ModuleDecoder decoder;
    while (reading) {
      const QByteArray bytes = window.module.line.readFor(1);
      const Clock::time_point now = Clock::now();
      const std::lock_guard guard(lock);
      for (const vf::ModuleEvent &e : decoder.feed(bytes)) {
        if (e.is<vf::decoded::Update>()) updates.push_back(now);
        faults += int(vf::faultsOf(e).size());
      }
    }
  });
  // The ticks as the program sees them, beside the arrivals at the far end.
  std::vector<Clock::time_point> ticks;
  QObject::connect(updateTick, &QTimer::timeout, [&] { ticks.push_back(Clock::now()); });
  window.find<QCheckBox>(QStringLiteral("autoUpdateCheck"))->setChecked(true);
  window.find<QAction>(QStringLiteral("applyAutoUpdateAction"))->trigger();
  QTimer sender;
  int sent = 0;
  QObject::connect(&sender, &QTimer::timeout, [&] {
    if (++sent <= seconds / 2) sendButton->click();
  });
  sender.start(1000);
  QTimer::singleShot(seconds * 1000 + 500, &app, &QCoreApplication::quit);
  app.exec();
  window.find<QCheckBox>(QStringLiteral("autoUpdateCheck"))->setChecked(false);
  reading = false;
  reader.join();

  if (updates.size() < 2 || faults > 0) {
    std::fprintf(stderr, "%zu update commands, %d faults\n", updates.size(), faults);
    return 1;
  }
  const Clock::time_point first = updates.front();
  const auto inWindow = std::count_if(updates.begin(), updates.end(), [&](auto t) { return t < first + std::chrono::seconds(seconds); });
  const Clock::time_point half = first + std::chrono::seconds(seconds / 2 + 1);
  const auto smallestGaps = [&](const std::vector<Clock::time_point> &times) {
    std::pair<double, double> smallest{1e9, 1e9};  // while messages went out, after
    for (std::size_t i = 1; i < times.size(); ++i) {
      double &s = times[i] < half ? smallest.first : smallest.second;
      s = std::min(s, millisBetween(times[i - 1], times[i]));
    }
    return smallest;
  };
  const auto [arrivalsWithSends, arrivalsAfter] = smallestGaps(updates);
  const auto [ticksWithSends, ticksAfter] = smallestGaps(ticks);
  // The rate when nothing delays the ticks: the second half, after the sends.
  const auto quiet = std::count_if(updates.begin(), updates.end(), [&](auto t) { return t >= half && t < first + std::chrono::seconds(seconds); });
  std::printf("auto update over %d s: %lld update commands at the far end, %.2f per second; %.2f per second over "
              "the %d s without sends\n",
              seconds, static_cast<long long>(inWindow), double(inWindow) / seconds,
              double(quiet) / (seconds - seconds / 2 - 1), seconds - seconds / 2 - 1);
  std::printf("smallest gap between ticks: %.2f ms while messages went out, %.2f ms after; between arrivals at the "
              "far end: %.2f ms and %.2f ms\n",
              ticksWithSends, ticksAfter, arrivalsWithSends, arrivalsAfter);

  // Peak memory of this process: the main window after every send above and the auto update.
  QFile status(QStringLiteral("/proc/self/status"));
  if (status.open(QIODevice::ReadOnly)) {
    for (const QByteArray &line : status.readAll().split('\n'))
      if (line.startsWith("VmHWM:")) std::printf("peak memory (VmHWM): %s\n", line.mid(6).trimmed().constData());
  }
  return window.dialogs.messages.isEmpty() ? 0 : 1;
}
