// What a keystroke in the input field costs in the real main window: the edit, the
// marking of every unusable character and the counts, for a full
// 2033-character text with unusable characters in it; then the preview that
// follows a moment later; then a 5 MB file loaded and typed into.
// Run offscreen:
//   QT_QPA_PLATFORM=offscreen build/bench/bench_typing [keystrokes]

#include "spread.h"
#include "tests/support/rig.h"
#include "ui/preview_window.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QKeyEvent>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double millisSince(Clock::time_point start) { return std::chrono::duration<double, std::milli>(Clock::now() - start).count(); }

void print(const char *what, std::vector<double> millis) {
  const bench::Spread s = bench::spreadOf(std::move(millis));
  std::printf("%s, %zu times: median %.3f ms, p90 %.3f ms, max %.3f ms\n", what, s.count, s.median, s.at(0.9), s.max);
}

// One key typed into the field, handled to its end (edit, marks, counts).
double typeOneKey(QWidget *field, const QString &text) {
  QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, text);
  QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, text);
  const Clock::time_point start = Clock::now();
  QCoreApplication::sendEvent(field, &press);
  QCoreApplication::sendEvent(field, &release);
  return millisSince(start);
}

}  // namespace

int main(int argc, char **argv) {
  QApplication app(argc, argv);
  const int keystrokes = argc > 1 ? std::atoi(argv[1]) : 300;

  vf::rig::WindowRig window;
  window.start();
  auto *input = window.find<vf::TextField>(QStringLiteral("inputField"));
  const QString sample = QStringLiteral("漢字かなカナABC abc 123 ｶﾞｷﾞ「」、。！？\r\n堯弌😀한");
  QString text;
  while (text.size() < vf::kMaxInputLength - 1) text += sample;
  input->setFieldText(text.left(vf::kMaxInputLength - 1));
  std::printf("marks in the text: %zu\n", input->marks().size());

  std::vector<double> keys;
  for (int i = 0; i < keystrokes; ++i) {
    input->moveCursor(i % 2 ? QTextCursor::End : QTextCursor::Start);
    keys.push_back(typeOneKey(input, i % 3 ? QStringLiteral("あ") : QStringLiteral("😀")));
    QKeyEvent back(QEvent::KeyPress, i % 2 ? Qt::Key_Backspace : Qt::Key_Delete, Qt::NoModifier);
    QCoreApplication::sendEvent(input, &back);
  }
  print("keystroke in a 2033-character text: edit, marks and counts", keys);

  window.find<QAction>(QStringLiteral("previewAction"))->trigger();
  auto *preview = window.window->findChild<vf::PreviewWindow *>();
  std::vector<double> previews;
  for (int i = 0; i < keystrokes / 10; ++i) {
    const Clock::time_point start = Clock::now();
    preview->showText(input->fieldText(), 1 + i % 5);
    previews.push_back(millisSince(start));
  }
  print("preview of the 2033-character text (built, decoded, drawn)", previews);

  // A 5 MB file: loaded, and typed into.
  QFile big(window.folder.filePath(QStringLiteral("big.txt")));
  if (!big.open(QIODevice::WriteOnly)) return 1;
  const QByteArray line = QStringLiteral("漢字かなカナABC abc 123 ｶﾞｷﾞ「」、。！？😀한\r\n").toUtf8();
  while (big.size() < 5 << 20) big.write(line);
  big.close();
  window.dialogs.filesToChoose = {big.fileName()};
  const Clock::time_point loadStart = Clock::now();
  window.press(QStringLiteral("loadTextFileButton"));
  std::printf("5 MB file loaded into the input field (%lld characters): %.0f ms\n", static_cast<long long>(input->fieldText().size()),
              millisSince(loadStart));
  std::vector<double> bigKeys;
  input->moveCursor(QTextCursor::Start);
  for (int i = 0; i < 20; ++i) bigKeys.push_back(typeOneKey(input, QStringLiteral("あ")));
  print("keystroke at the start of the 5 MB text", bigKeys);
  std::printf("marks in the 5 MB text: %zu (only the first 2033 characters are judged)\n", input->marks().size());
  return 0;
}
