#pragma once

// How a benchmark's measurements spread: the one way every benchmark here
// reads its figures off the sorted runs.

#include <algorithm>
#include <cstddef>
#include <vector>

namespace bench {

struct Spread {
  std::size_t count = 0;
  double min = 0, median = 0, max = 0;
  std::vector<double> sorted;
  // The value below which the fraction q of the runs lie (q in [0, 1]).
  double at(double q) const {
    return sorted.empty() ? 0 : sorted[std::min(sorted.size() - 1, std::size_t(q * double(sorted.size())))];
  }
};

inline Spread spreadOf(std::vector<double> values) {
  Spread s;
  std::sort(values.begin(), values.end());
  s.count = values.size();
  if (!values.empty()) {
    s.min = values.front();
    s.median = values[values.size() / 2];
    s.max = values.back();
  }
  s.sorted = std::move(values);
  return s;
}

}  // namespace bench
