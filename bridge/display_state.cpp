#include "bridge/display_state.h"

#include "encoder/message_builder.h"
#include "protocol/packet.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

namespace vf {

namespace {

constexpr qint64 kMaxFileBytes = 1 << 20;
constexpr int kMaxTopics = 1000;

}  // namespace

QString DisplayState::pathFor(const QString &name, const QProcessEnvironment &environment) {
  QString folder = environment.value(QStringLiteral("STATE_DIRECTORY")).section(u':', 0, 0);
  if (folder.isEmpty()) {
    const QString base = environment.value(QStringLiteral("XDG_STATE_HOME"));
    folder = (base.isEmpty() ? QDir::homePath() + QStringLiteral("/.local/state") : base) + QStringLiteral("/vf3360");
  }
  return folder + u'/' + name + QStringLiteral(".json");
}

QByteArray DisplayState::digest(const QByteArray &payload) {
  return QCryptographicHash::hash(payload, QCryptographicHash::Sha256).toBase64();
}

QString DisplayState::load(const QString &path) {
  QFile file(path);
  if (!file.exists()) return {};
  if (file.size() > kMaxFileBytes) return QStringLiteral("%1: larger than 1 MiB, not read").arg(path);
  if (!file.open(QIODevice::ReadOnly)) return QStringLiteral("%1: %2").arg(path, file.errorString());
  QJsonParseError error{};
  const QJsonObject state = QJsonDocument::fromJson(file.read(kMaxFileBytes), &error).object();
  if (error.error != QJsonParseError::NoError) return QStringLiteral("%1: %2, not used").arg(path, error.errorString());
  const auto speedOf = [](const QJsonValue &value) {
    const int speed = value.toInt();
    return speed >= 1 && speed <= kSpeedOptionCount ? speed : 1;
  };
  const QJsonValue given = state[u"text"];
  if (given.isString() && runOutcomeOf(given.toString()) == RunOutcome::Sent) text = given.toString();
  textSpeed = speedOf(state[u"textSpeed"]);
  textTopic = state[u"textTopic"].toString();
  blank = state[u"blank"].toBool();
  speed = speedOf(state[u"speed"]);
  const QJsonObject seen = state[u"retained"].toObject();
  for (auto it = seen.begin(); it != seen.end() && retained.size() < kMaxTopics; ++it) {
    retained.insert(it.key(), it.value().toString().toLatin1());
  }
  return {};
}

QString DisplayState::save(const QString &path) const {
  QJsonObject seen;
  for (auto it = retained.begin(); it != retained.end(); ++it) seen[it.key()] = QString::fromLatin1(it.value());
  QJsonObject state{{QStringLiteral("textSpeed"), textSpeed},
                    {QStringLiteral("textTopic"), textTopic},
                    {QStringLiteral("blank"), blank},
                    {QStringLiteral("speed"), speed},
                    {QStringLiteral("retained"), seen}};
  if (text) state[QStringLiteral("text")] = *text;
  if (!QDir().mkpath(QFileInfo(path).path())) return QStringLiteral("%1: cannot make its folder").arg(path);
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly) || file.write(QJsonDocument(state).toJson(QJsonDocument::Compact)) < 0 ||
      !file.commit()) {
    return QStringLiteral("%1: %2").arg(path, file.errorString());
  }
  return {};
}

}  // namespace vf
