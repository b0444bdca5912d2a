// The module's cue reply answered by the real main window: the window starts
// from a portnum.ini in a temporary folder with its port on a pseudo-terminal
// (as "--device" would open it), the far end sends the four-byte reply
// 11 22 C0 00 and waits for the data cue command. Prints how long that round
// trip takes. Run offscreen:
//   QT_QPA_PLATFORM=offscreen build/bench/bench_window_cue_reply [replies]

#include "tests/support/pseudo_terminal.h"
#include "ui/main_window.h"
#include "ui/operator_dialogs.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

int main(int argc, char **argv) {
  QApplication app(argc, argv);
  const int replies = argc > 1 ? std::atoi(argv[1]) : 500;

  vf::RecordingDialogs dialogs;
  QTemporaryDir folder;
  QFile ini(folder.filePath(QStringLiteral("portnum.ini")));
  if (!ini.open(QIODevice::WriteOnly) || ini.write("1\r\n") != 3) return 1;
  ini.close();
  PseudoTerminal pty;
  Form1 window;
  window.setEndProgram([] {});
  window.setSettingsFolder(folder.path());
  const QString device = pty.path();
  window.setDeviceNamer([device](int, int) { return device; });
  window.show();
  window.Form_Load();
  if (!window.port().isOpen() || !dialogs.messages.isEmpty()) {
    std::fprintf(stderr, "the port did not open\n");
    return 1;
  }

  const QByteArray reply = QByteArray::fromHex("11 22 C0 00");
  const QByteArray dataCue = QByteArray::fromHex("00 00 18 00 00 18 EF");
  std::vector<double> millis;
  millis.reserve(replies);
  for (int i = 0; i < replies; ++i) {
    const auto start = std::chrono::steady_clock::now();
    pty.write(reply);
    QByteArray answer;
    while (answer.size() < dataCue.size()) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
      answer += pty.readFor(0);
    }
    const auto end = std::chrono::steady_clock::now();
    if (answer != dataCue) {
      std::fprintf(stderr, "unexpected answer %s\n", answer.toHex(' ').constData());
      return 1;
    }
    millis.push_back(std::chrono::duration<double, std::milli>(end - start).count());
  }
  std::sort(millis.begin(), millis.end());
  std::printf("cue reply -> data cue through the window, %d replies: median %.2f ms, p95 %.2f ms, max %.2f ms\n",
              replies, millis[millis.size() / 2], millis[millis.size() * 95 / 100], millis.back());
  return 0;
}
