#pragma once

// Bytes as the tests write them: hex digits, and a message's writes joined
// the way they arrive on the line.

#include <QByteArray>

#include <vector>

inline QByteArray hex(const char *digits) { return QByteArray::fromHex(digits); }

inline QByteArray joined(const std::vector<QByteArray> &writes) {
  QByteArray all;
  for (const QByteArray &w : writes) all += w;
  return all;
}
