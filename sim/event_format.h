#pragma once

#include "protocol/module_decoder.h"

#include <QByteArray>
#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

namespace vf {

// One line for a person reading the module's log.
QString describeEvent(const ModuleEvent &event);
// The same as one JSON object, for scripts and tests. "event" names the kind:
// message-start, frame-count, packet, display-clear, data-cue, update,
// message, fault.
QJsonObject eventToJson(const ModuleEvent &event);

// Writes the module's log, one line per event, as text or as JSON. Update
// commands come every 20 ms during auto update; unless each is asked for,
// they are counted and summed up in one line at most once a second (and
// before any other line, so that the log stays in order).
class EventLog : public QObject {
  Q_OBJECT
 public:
  using LineWriter = std::function<void(const QByteArray &line)>;

  EventLog(bool json, bool everyUpdate, LineWriter writer, QObject *parent = nullptr);

  void write(const ModuleEvent &event);
  void writeCueReply(const QByteArray &bytes);
  void writeCueReplyFailed(const QString &why);
  // Writes the updates counted since the last summary, if any.
  void flushUpdates();

 private:
  void emitLine(const QString &text, const QJsonObject &json);

  bool json_;
  bool everyUpdate_;
  LineWriter writer_;
  QTimer summary_;
  int pendingUpdates_ = 0;
  qint64 totalUpdates_ = 0;
};

}  // namespace vf
