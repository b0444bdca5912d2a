#include "settings/port_settings.h"

#include "protocol/port_code.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <utility>

namespace vf {

StoredPortLine parseStoredPortLine(const QByteArray &head, bool moreFollow) {
  using Form = StoredPortLine::Form;
  qsizetype end = 0;
  while (end < head.size() && head[end] != '\r' && head[end] != '\n') ++end;
  if (end == head.size() && moreFollow) return {};  // a line longer than anything we read
  if (head.isEmpty()) return {};                      // no line at all
  const QByteArray line = head.left(end);
  if (line.isEmpty()) return {Form::EmptyLine, 0};
  if (line == " ") return {Form::SingleBlank, 0};

  // A decimal number, perhaps with blanks or tabs around it (a hand-edited file).
  const QByteArray digits = line.trimmed();
  if (digits.isEmpty() || digits.size() > 9) return {};
  int value = 0;
  for (const char c : digits) {
    if (c < '0' || c > '9') return {};
    value = value * 10 + (c - '0');
  }
  if (value < 1 || value > kMaxPortCode) return {};
  return {Form::Code, value};
}

PortSettingsFile::PortSettingsFile(QString folder) : folder_(std::move(folder)) {}

PortSettingsFile PortSettingsFile::forThisProgram() {
  return PortSettingsFile(chooseFolder(QCoreApplication::applicationDirPath(),
                                       QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation)));
}

QString PortSettingsFile::chooseFolder(const QString &programFolder, const QString &userConfigFolder) {
  // Try to create a file there: permission bits alone do not tell about
  // read-only mounts or access control lists.
  if (!programFolder.isEmpty()) {
    QTemporaryFile probe(QDir(programFolder).filePath(QStringLiteral(".portnum-probe-XXXXXX")));
    if (probe.open()) return programFolder;
  }
  return userConfigFolder;
}

QString PortSettingsFile::path() const { return QDir(folder_).filePath(kFileName); }

bool PortSettingsFile::exists() const { return QFile::exists(path()); }

StoredPortLine PortSettingsFile::read() const {
  QFile file(path());
  if (!file.open(QIODevice::ReadOnly)) return {};
  const QByteArray head = file.read(kReadLimit);
  const bool moreFollow = !file.atEnd();
  return parseStoredPortLine(head, moreFollow);
}

std::optional<QString> PortSettingsFile::write(const QString &line) const {
  const auto failure = [this](const QString &reason) {
    return QStringLiteral("%1 に書き込めませんでした: %2").arg(QDir::toNativeSeparators(path()), reason);
  };
  if (!QDir().mkpath(folder_)) return failure(QStringLiteral("フォルダを作成できません"));
  QSaveFile file(path());
  if (!file.open(QIODevice::WriteOnly)) return failure(file.errorString());
  const QByteArray bytes = line.toLatin1() + "\r\n";
  if (file.write(bytes) != bytes.size()) {
    const QString reason = file.errorString();
    file.cancelWriting();
    return failure(reason);
  }
  if (!file.commit()) return failure(file.errorString());
  return std::nullopt;
}

}  // namespace vf
