#include "sim/event_format.h"

#include "protocol/hex_text.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace vf {
namespace {

QString faultList(const std::vector<FaultReport> &faults) {
  QStringList parts;
  for (const FaultReport &f : faults) parts << QStringLiteral("%1: %2").arg(faultName(f.kind), f.detail);
  return parts.join(QStringLiteral("; "));
}

QString quoted(const QString &text) { return u'"' + text + u'"'; }

}  // namespace

QString describeEvent(const ModuleEvent &e) {
  switch (e.kind) {
    case ModuleEvent::Kind::MessageStart: return QStringLiteral("message start");
    case ModuleEvent::Kind::FrameCount: return QStringLiteral("frame count %1").arg(e.frames);
    case ModuleEvent::Kind::Packet: {
      QString line = QStringLiteral("packet frame %1").arg(e.frame);
      if (e.speed >= 0) line += QStringLiteral(", speed %1").arg(e.speed);
      line += e.checksumOk ? QStringLiteral(", checksum ok") : QStringLiteral(", checksum BAD");
      if (!e.faults.empty()) line += QStringLiteral(", %1 fault(s) [%2]").arg(e.faults.size()).arg(faultList(e.faults));
      return line + QStringLiteral(": ") + quoted(e.text);
    }
    case ModuleEvent::Kind::DisplayClear: return QStringLiteral("display clear (表示クリア)");
    case ModuleEvent::Kind::DataCue: return QStringLiteral("data cue (データ頭だし)");
    case ModuleEvent::Kind::Update: return QStringLiteral("update");
    case ModuleEvent::Kind::Message: {
      QString line = QStringLiteral("message %1 of %2 frame(s)").arg(e.received).arg(e.frames);
      if (e.speed >= 0) line += QStringLiteral(", speed %1").arg(e.speed);
      line += e.ok ? QStringLiteral(", ok") : QStringLiteral(", WITH FAULTS");
      return line + QStringLiteral(": ") + quoted(e.text);
    }
    case ModuleEvent::Kind::Fault:
      return QStringLiteral("FAULT at offset %1: %2").arg(e.offset).arg(faultList(e.faults));
  }
  return {};
}

QJsonObject eventToJson(const ModuleEvent &e) {
  QJsonObject o;
  o[QStringLiteral("event")] = eventKindName(e.kind);
  o[QStringLiteral("offset")] = e.offset;
  switch (e.kind) {
    case ModuleEvent::Kind::FrameCount: o[QStringLiteral("frames")] = e.frames; break;
    case ModuleEvent::Kind::Packet:
      o[QStringLiteral("frame")] = e.frame;
      o[QStringLiteral("length")] = e.length;
      o[QStringLiteral("speed")] = e.speed;
      o[QStringLiteral("checksumOk")] = e.checksumOk;
      o[QStringLiteral("ok")] = e.ok;
      o[QStringLiteral("text")] = e.text;
      break;
    case ModuleEvent::Kind::Message:
      o[QStringLiteral("frames")] = e.frames;
      o[QStringLiteral("received")] = e.received;
      o[QStringLiteral("speed")] = e.speed;
      o[QStringLiteral("ok")] = e.ok;
      o[QStringLiteral("text")] = e.text;
      break;
    case ModuleEvent::Kind::Fault:
      o[QStringLiteral("kind")] = e.faults.empty() ? QString() : faultName(e.faults.front().kind);
      o[QStringLiteral("detail")] = e.faults.empty() ? QString() : e.faults.front().detail;
      if (e.length > 0) o[QStringLiteral("length")] = e.length;
      break;
    default: break;
  }
  if (e.kind == ModuleEvent::Kind::Packet) {
    QJsonArray faults;
    for (const FaultReport &f : e.faults) {
      faults.append(QJsonObject{{QStringLiteral("kind"), faultName(f.kind)}, {QStringLiteral("detail"), f.detail}});
    }
    o[QStringLiteral("faults")] = faults;
  }
  return o;
}

EventLog::EventLog(bool json, bool everyUpdate, LineWriter writer, QObject *parent)
    : QObject(parent), json_(json), everyUpdate_(everyUpdate), writer_(std::move(writer)) {
  summary_.setInterval(1000);
  connect(&summary_, &QTimer::timeout, this, &EventLog::flushUpdates);
  summary_.start();
}

void EventLog::emitLine(const QString &text, const QJsonObject &json) {
  writer_(json_ ? QJsonDocument(json).toJson(QJsonDocument::Compact) : text.toUtf8());
}

void EventLog::flushUpdates() {
  if (pendingUpdates_ == 0) return;
  emitLine(QStringLiteral("update x%1 (%2 in all)").arg(pendingUpdates_).arg(totalUpdates_),
           QJsonObject{{QStringLiteral("event"), QStringLiteral("update")},
                       {QStringLiteral("count"), pendingUpdates_},
                       {QStringLiteral("total"), totalUpdates_}});
  pendingUpdates_ = 0;
}

void EventLog::write(const ModuleEvent &event) {
  if (event.kind == ModuleEvent::Kind::Update) {
    ++totalUpdates_;
    if (!everyUpdate_) {
      ++pendingUpdates_;
      return;
    }
    QJsonObject o = eventToJson(event);
    o[QStringLiteral("count")] = 1;
    o[QStringLiteral("total")] = totalUpdates_;
    emitLine(describeEvent(event), o);
    return;
  }
  flushUpdates();
  emitLine(describeEvent(event), eventToJson(event));
}

void EventLog::writeCueReply(const QByteArray &bytes) {
  flushUpdates();
  emitLine(QStringLiteral("cue reply sent: %1").arg(spacedHex(bytes)),
           QJsonObject{{QStringLiteral("event"), QStringLiteral("cue-reply")}, {QStringLiteral("bytes"), spacedHex(bytes)}});
}

void EventLog::writeCueReplyFailed(const QString &why) {
  flushUpdates();
  emitLine(QStringLiteral("cue reply NOT sent: %1").arg(why),
           QJsonObject{{QStringLiteral("event"), QStringLiteral("cue-reply-failed")}, {QStringLiteral("detail"), why}});
}

}  // namespace vf
