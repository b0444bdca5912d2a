// Times one whole convert-and-send run for a 2033-character mixed text
// (16 frames, every text form built). Prints median and 90th percentile.

#include "encoder/convert_and_send.h"

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

  // Warm up: builds the code table and the width transliterator once.
  vf::ConvertRunResult check = vf::runConvertAndSend({text, 1, true});
  std::printf("frames built: %d, writes: %zu\n", check.framesBuilt(), check.writes.size());

  std::vector<double> micros;
  micros.reserve(runs);
  for (int i = 0; i < runs; ++i) {
    const auto start = std::chrono::steady_clock::now();
    vf::ConvertRunResult run = vf::runConvertAndSend({text, 1 + i % 5, true});
    const auto end = std::chrono::steady_clock::now();
    if (run.writes.size() != 18) return 1;
    micros.push_back(std::chrono::duration<double, std::micro>(end - start).count());
  }
  std::sort(micros.begin(), micros.end());
  std::printf("convert-and-send, %d chars, %d runs: median %.1f us, p90 %.1f us, min %.1f us\n",
              static_cast<int>(text.size()), runs, micros[micros.size() / 2], micros[micros.size() * 9 / 10],
              micros.front());
  return 0;
}
