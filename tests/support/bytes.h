#pragma once

// Bytes as the tests write them: hex digits, a file of given bytes, and a
// message's writes joined the way they arrive on the line.

#include <QByteArray>
#include <QFile>

#include <vector>

inline QByteArray hex(const char *digits) { return QByteArray::fromHex(digits); }

inline bool writeFile(const QString &path, const QByteArray &bytes) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

inline QByteArray joined(const std::vector<QByteArray> &writes) {
  QByteArray all;
  for (const QByteArray &w : writes) all += w;
  return all;
}
