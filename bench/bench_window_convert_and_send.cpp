// Times "変換 + 送信" in the real main window for a 2033-character mixed text
// (16 frames): the encoder's run, every field it fills and the 4206 bytes
// handed to MSComm1, open on a pseudo-terminal. This is how long the window
// does not answer the operator. Run offscreen:
//   QT_QPA_PLATFORM=offscreen build/bench/bench_window_convert_and_send [runs]

#include "encoder/convert_and_send.h"
#include "tests/support/pseudo_terminal.h"
#include "ui/main_window.h"
#include "ui/operator_dialogs.h"
#include "ui/text_field.h"

#include <QApplication>
#include <QPushButton>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

int main(int argc, char **argv) {
  QApplication app(argc, argv);
  const int runs = argc > 1 ? std::atoi(argv[1]) : 200;
  const QString sample = QStringLiteral("漢字かなカナABC abc 123 ｶｷｸ「」、。！？\r\n堯弌①");
  QString text;
  while (text.size() < vf::kMaxInputLength) text += sample;
  text.truncate(vf::kMaxInputLength);

  vf::RecordingDialogs dialogs;
  PseudoTerminal pty;
  Form1 window;
  window.show();
  window.port().setPortName(pty.path());
  if (!window.port().open(QIODevice::ReadWrite)) {
    std::fprintf(stderr, "cannot open %s\n", qPrintable(pty.path()));
    return 1;
  }
  window.findChild<vf::TextField *>(QStringLiteral("Text3"))->setFieldText(text);
  auto *command1 = window.findChild<QPushButton *>(QStringLiteral("Command1"));

  std::vector<double> millis;
  millis.reserve(runs);
  qsizetype received = 0;
  for (int i = 0; i < runs; ++i) {
    const auto start = std::chrono::steady_clock::now();
    command1->click();
    const auto end = std::chrono::steady_clock::now();
    window.timer1().stop();
    // Let the port write out and empty the far end before the next run.
    while (received < 4206 * (i + 1)) {
      QCoreApplication::processEvents();
      received += pty.readFor(1).size();
    }
    millis.push_back(std::chrono::duration<double, std::milli>(end - start).count());
  }
  if (!dialogs.messages.isEmpty()) {
    std::fprintf(stderr, "unexpected message: %s\n", qPrintable(dialogs.messages.first()));
    return 1;
  }
  std::sort(millis.begin(), millis.end());
  std::printf("window convert-and-send, %d chars, 16 frames, %d runs: median %.2f ms, p90 %.2f ms, min %.2f ms\n",
              static_cast<int>(text.size()), runs, millis[millis.size() / 2], millis[millis.size() * 9 / 10],
              millis.front());
  return 0;
}
