#pragma once

// Small helpers for the seeded random tests (tst_fuzz_*): random numbers,
// random bytes leaning towards the values a reader looks for, random cuts.

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

#include <random>

namespace fuzz {

using Rng = std::mt19937;

inline int between(Rng &rng, int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng); }
inline bool chance(Rng &rng, double p) { return std::bernoulli_distribution(p)(rng); }

// count random bytes; about `share` of them taken from `favoured`.
inline QByteArray bytes(Rng &rng, int count, QByteArrayView favoured = {}, double share = 0.3) {
  QByteArray out(count, '\0');
  for (char &b : out) {
    if (!favoured.isEmpty() && chance(rng, share))
      b = favoured[between(rng, 0, static_cast<int>(favoured.size()) - 1)];
    else
      b = static_cast<char>(between(rng, 0, 255));
  }
  return out;
}

// The bytes cut into pieces at random: sometimes one byte at a time,
// sometimes a few large pieces, mostly a mixture. No piece is empty.
inline QList<QByteArray> cut(Rng &rng, const QByteArray &all) {
  QList<QByteArray> pieces;
  const int style = between(rng, 0, 3);
  for (qsizetype pos = 0; pos < all.size();) {
    int n = 1;
    switch (style) {
      case 0: n = 1; break;
      case 1: n = between(rng, 1, 8); break;
      case 2: n = between(rng, 1, 700); break;
      default: n = chance(rng, 0.5) ? between(rng, 1, 3) : between(rng, 1, 300); break;
    }
    pieces.append(all.mid(pos, n));
    pos += n;
  }
  return pieces;
}

}  // namespace fuzz
