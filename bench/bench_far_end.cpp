// What arrives at the far end of the line, timed there: the real main window
// with MSComm1 open on a pseudo-terminal.
//  (1) From pressing "変換 + 送信" (Command1->click()) to the last byte of the
//      message read at the far end, for 1 and for 16 frames. A pseudo-terminal
//      is not held to 19200 baud, so this is the program's share; the line
//      itself needs 2.19 s for 16 frames.
//  (2) Update commands per second over 10 s of auto update (Check1 ticked,
//      menu 自動更新), counted at the far end by a reader thread while the
//      window runs its own event loop.
// Run offscreen:
//   QT_QPA_PLATFORM=offscreen build/bench/bench_far_end [runs] [seconds]

#include "encoder/convert_and_send.h"
#include "tests/support/pseudo_terminal.h"
#include "ui/main_window.h"
#include "ui/operator_dialogs.h"
#include "ui/text_field.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QCheckBox>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double millisBetween(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double, std::milli>(b - a).count();
}

// Times `runs` sends of `text`; the update commands that follow each message
// are stopped and drained before the next run.
bool timeSends(Form1 &window, PseudoTerminal &pty, const QString &text, int frames, int runs) {
  window.findChild<vf::TextField *>(QStringLiteral("Text3"))->setFieldText(text);
  auto *command1 = window.findChild<QPushButton *>(QStringLiteral("Command1"));
  const qsizetype messageBytes = 14 + 262 * frames;
  std::vector<double> millis;
  for (int i = 0; i < runs; ++i) {
    qsizetype received = 0;
    const Clock::time_point start = Clock::now();
    command1->click();
    Clock::time_point last = start;
    const Clock::time_point giveUp = start + std::chrono::seconds(10);
    while (received < messageBytes && Clock::now() < giveUp) {
      QCoreApplication::processEvents();
      const qsizetype got = pty.readFor(0).size();
      if (got > 0) {
        received += got;
        last = Clock::now();
      }
    }
    window.timer1().stop();
    pty.readFor(30);
    if (received < messageBytes) {
      std::fprintf(stderr, "only %lld of %lld bytes arrived\n", static_cast<long long>(received),
                   static_cast<long long>(messageBytes));
      return false;
    }
    millis.push_back(millisBetween(start, last));
  }
  std::sort(millis.begin(), millis.end());
  std::printf("press to last byte at the far end, %2d frame(s) (%lld bytes), %d runs: median %.2f ms, p90 %.2f ms, "
              "min %.2f ms, max %.2f ms\n",
              frames, static_cast<long long>(messageBytes), runs, millis[millis.size() / 2],
              millis[millis.size() * 9 / 10], millis.front(), millis.back());
  return true;
}

}  // namespace

int main(int argc, char **argv) {
  QApplication app(argc, argv);
  const int runs = argc > 1 ? std::atoi(argv[1]) : 200;
  const int seconds = argc > 2 ? std::atoi(argv[2]) : 10;

  vf::RecordingDialogs dialogs;
  PseudoTerminal pty;
  Form1 window;
  window.show();
  window.port().setPortName(pty.path());
  if (!window.port().open(QIODevice::ReadWrite)) {
    std::fprintf(stderr, "cannot open %s\n", qPrintable(pty.path()));
    return 1;
  }

  const QString sample = QStringLiteral("漢字かなカナABC abc 123 ｶｷｸ「」、。！？\r\n堯弌");
  QString longText;
  while (longText.size() < vf::kMaxInputLength) longText += sample;
  longText.truncate(vf::kMaxInputLength);
  if (!timeSends(window, pty, QStringLiteral("VF3360 漢字表示テスト"), 1, runs)) return 1;
  if (!timeSends(window, pty, longText, 16, runs)) return 1;

  // Auto update: a reader thread notes when each update command arrives.
  std::atomic<bool> reading{true};
  std::vector<Clock::time_point> arrivals;
  bool otherBytes = false;
  const QByteArray update = vf::controlCommand(vf::CommandCode::Update);
  std::thread reader([&] {
    QByteArray buffer;
    while (reading) {
      buffer += pty.readFor(2);
      const Clock::time_point now = Clock::now();
      while (buffer.size() >= 7) {
        if (buffer.left(7) != update) otherBytes = true;
        buffer.remove(0, 7);
        arrivals.push_back(now);
      }
    }
  });
  window.findChild<QCheckBox *>(QStringLiteral("Check1"))->setChecked(true);
  window.findChild<QAction *>(QStringLiteral("Reload"))->trigger();
  QTimer::singleShot(seconds * 1000 + 500, &app, &QCoreApplication::quit);
  app.exec();
  window.findChild<QCheckBox *>(QStringLiteral("Check1"))->setChecked(false);
  reading = false;
  reader.join();

  if (arrivals.empty() || otherBytes) {
    std::fprintf(stderr, "no update commands, or something else among them\n");
    return 1;
  }
  const Clock::time_point first = arrivals.front();
  const auto end = first + std::chrono::seconds(seconds);
  const auto inWindow = std::count_if(arrivals.begin(), arrivals.end(), [&](Clock::time_point t) { return t < end; });
  // The rate also from the first to the last arrival inside the window.
  const double span = millisBetween(first, arrivals[inWindow - 1]) / 1000.0;
  std::printf("auto update over %d s: %lld update commands at the far end, %.2f per second "
              "(%.3f per second between the first and the last)\n",
              seconds, static_cast<long long>(inWindow), static_cast<double>(inWindow) / seconds,
              inWindow > 1 ? (inWindow - 1) / span : 0.0);
  if (!dialogs.messages.isEmpty()) {
    std::fprintf(stderr, "unexpected message: %s\n", qPrintable(dialogs.messages.first()));
    return 1;
  }
  // Peak memory of this process: the main window after every send above and
  // the auto update, with the (small) reader thread of this benchmark.
  QFile status(QStringLiteral("/proc/self/status"));
  if (status.open(QIODevice::ReadOnly)) {
    for (const QByteArray &line : status.readAll().split('\n'))
      if (line.startsWith("VmHWM:")) std::printf("peak memory (VmHWM): %s\n", line.mid(6).trimmed().constData());
  }
  return 0;
}
