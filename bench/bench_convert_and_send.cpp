// Times one whole convert-and-send without the window for a 2033-character
// mixed text (16 frames): the message built and every step of its
// presentation. Prints median and 90th percentile.

#include "spread.h"
#include "encoder/message_builder.h"
#include "encoder/run_presentation.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

int main(int argc, char **argv) {
  const int runs = argc > 1 ? std::atoi(argv[1]) : 2000;
  const QString sample = QStringLiteral("漢字かなカナABC abc 123 ｶｷｸ「」、。！？\r\n堯弌①");
  QString text;
  while (text.size() < vf::kMaxInputLength) text += sample;
  text.truncate(vf::kMaxInputLength);

  // Warm up: builds the code page and width tables once.
  const vf::BuiltMessage check = vf::buildMessage(text, 1);
  std::printf("frames built: %zu, writes: %zu\n", check.frames.size(), check.writes.size());

  std::vector<double> micros;
  micros.reserve(runs);
  for (int i = 0; i < runs; ++i) {
    const auto start = std::chrono::steady_clock::now();
    const vf::BuiltMessage message = vf::buildMessage(text, 1 + i % 5);
    const std::vector<vf::RunStep> steps = vf::presentRun(message, true);
    const auto end = std::chrono::steady_clock::now();
    if (message.writes.size() != 18 || steps.empty()) return 1;
    micros.push_back(std::chrono::duration<double, std::micro>(end - start).count());
  }
  const bench::Spread s = bench::spreadOf(std::move(micros));
  std::printf("convert-and-send, %d chars, %d runs: median %.1f us, p90 %.1f us, min %.1f us\n",
              static_cast<int>(text.size()), runs, s.median, s.at(0.9), s.min);
  return 0;
}
