#include "sim/event_format.h"

#include "protocol/hex_text.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace vf {
namespace {

QString faultList(std::span<const FaultReport> faults) {
  QStringList parts;
  for (const FaultReport &f : faults) parts << QStringLiteral("%1: %2").arg(faultName(f.kind), f.detail);
  return parts.join(QStringLiteral("; "));
}

QString quoted(const QString &text) { return u'"' + text + u'"'; }

}  // namespace

QString describeEvent(const ModuleEvent &e) {
  return std::visit(
      Overloaded{
          [](const decoded::MessageStart &) { return QStringLiteral("message start"); },
          [](const decoded::FrameCount &c) { return QStringLiteral("frame count %1").arg(c.frames); },
          [](const decoded::Packet &p) {
            QString line = QStringLiteral("packet frame %1").arg(p.frame);
            if (p.speed >= 0) line += QStringLiteral(", speed %1").arg(p.speed);
            line += p.checksumOk ? QStringLiteral(", checksum ok") : QStringLiteral(", checksum BAD");
            if (!p.faults.empty()) line += QStringLiteral(", %1 fault(s) [%2]").arg(p.faults.size()).arg(faultList(p.faults));
            return line + QStringLiteral(": ") + quoted(p.text);
          },
          [](const decoded::DisplayClear &) { return QStringLiteral("display clear (表示クリア)"); },
          [](const decoded::DataCue &) { return QStringLiteral("data cue (データ頭だし)"); },
          [](const decoded::Update &) { return QStringLiteral("update"); },
          [](const decoded::Message &m) {
            QString line = QStringLiteral("message %1 of %2 frame(s)").arg(m.received).arg(m.frames);
            if (m.speed >= 0) line += QStringLiteral(", speed %1").arg(m.speed);
            line += m.ok ? QStringLiteral(", ok") : QStringLiteral(", WITH FAULTS");
            return line + QStringLiteral(": ") + quoted(m.text);
          },
          [&](const decoded::Fault &f) {
            return QStringLiteral("FAULT at offset %1: %2").arg(e.offset).arg(faultList({&f.report, 1}));
          },
      },
      e.what);
}

QJsonObject eventToJson(const ModuleEvent &e) {
  QJsonObject o;
  o[QStringLiteral("event")] = eventKindName(e);
  o[QStringLiteral("offset")] = e.offset;
  std::visit(Overloaded{
                 [&](const decoded::FrameCount &c) { o[QStringLiteral("frames")] = c.frames; },
                 [&](const decoded::Packet &p) {
                   o[QStringLiteral("frame")] = p.frame;
                   o[QStringLiteral("length")] = e.length;
                   o[QStringLiteral("speed")] = p.speed;
                   o[QStringLiteral("checksumOk")] = p.checksumOk;
                   o[QStringLiteral("ok")] = p.ok;
                   o[QStringLiteral("text")] = p.text;
                   QJsonArray faults;
                   for (const FaultReport &f : p.faults) {
                     faults.append(QJsonObject{{QStringLiteral("kind"), faultName(f.kind)}, {QStringLiteral("detail"), f.detail}});
                   }
                   o[QStringLiteral("faults")] = faults;
                 },
                 [&](const decoded::Message &m) {
                   o[QStringLiteral("frames")] = m.frames;
                   o[QStringLiteral("received")] = m.received;
                   o[QStringLiteral("speed")] = m.speed;
                   o[QStringLiteral("ok")] = m.ok;
                   o[QStringLiteral("text")] = m.text;
                 },
                 [&](const decoded::Fault &f) {
                   o[QStringLiteral("kind")] = faultName(f.report.kind);
                   o[QStringLiteral("detail")] = f.report.detail;
                   if (e.length > 0) o[QStringLiteral("length")] = e.length;
                 },
                 [](const decoded::MessageStart &) {},
                 [](const decoded::DisplayClear &) {},
                 [](const decoded::DataCue &) {},
                 [](const decoded::Update &) {},
             },
             e.what);
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
  if (event.is<decoded::Update>()) {
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
