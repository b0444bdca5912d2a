#pragma once

// Bytes as the tests write them: hex digits, a file of given bytes, and a
// message's writes joined the way they arrive on the line.

#include <QByteArray>
#include <QFile>

#include <vector>

inline QByteArray hex(const char *digits) { return QByteArray::fromHex(digits); }

// Two of the module's commands as its documentation gives them.
inline const QByteArray kUpdateCommand = hex("00001C00001CEF");
inline const QByteArray kDataCueCommand = hex("000018000018EF");
inline const QByteArray kClearCommand = hex("000014000014EF");

inline bool writeFile(const QString &path, const QByteArray &bytes) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

inline QByteArray joined(const std::vector<QByteArray> &writes) {
  QByteArray all;
  for (const QByteArray &w : writes) all += w;
  return all;
}
