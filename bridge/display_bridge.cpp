#include "bridge/display_bridge.h"

#include "encoder/message_builder.h"
#include "encoder/run_presentation.h"
#include "encoder/text_check.h"
#include "line_words/line_words.h"
#include "protocol/hex_text.h"
#include "protocol/packet.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMetaEnum>
#include <QStringDecoder>

#include <csignal>
#include <cstdio>
#include <utility>

namespace vf {

namespace {


const QString kText = QStringLiteral("text");
const QString kSpeed = QStringLiteral("speed");
const QString kCommand = QStringLiteral("command");
const QString kCheck = QStringLiteral("check");
// Where a check request may have its answer published: under this, and no
// deeper than a few levels, so that a request cannot make the bridge publish
// on a display's own topics.
const QString kReplyTopics = QStringLiteral("vf3360/reply/");
constexpr qsizetype kMaxReplyTopic = 256;

QString nowText() { return QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs); }

// "U+9AD9"; a katakana and its sound mark, or any other pair, as "U+FF8A U+FF9F".
QString codePoints(QStringView characters) {
  QStringList points;
  for (const char32_t point : characters.toUcs4()) {
    points << codePointText(point);
  }
  return points.join(u' ');
}

QJsonObject describeCharacter(QStringView characters) {
  return {{QStringLiteral("character"), characters.toString()}, {QStringLiteral("codePoint"), codePoints(characters)}};
}

// Text from outside as a log line or an event quotes it: control characters
// as \xNN (and the line and paragraph separators and the direction marks as
// \uNNNN), so that no payload can start a line of its own or reach a terminal
// raw; at most `max` characters of it, the cut marked "…". Quoting again
// changes nothing.
QString quoted(QStringView text, qsizetype max = 80) {
  QString out;
  qsizetype count = 0;
  for (const char32_t c : text.toUcs4()) {
    if (max >= 0 && ++count > max) return out + u'…';
    const QChar::Category category = QChar::category(c);
    if (category == QChar::Other_Control) {
      out += QStringLiteral("\\x") + QString::number(uint(c), 16).toUpper().rightJustified(2, u'0');
    } else if (category == QChar::Other_Format || category == QChar::Separator_Line || category == QChar::Separator_Paragraph) {
      out += QStringLiteral("\\u") + QString::number(uint(c), 16).toUpper().rightJustified(4, u'0');
    } else {
      out += QString::fromUcs4(&c, 1);
    }
  }
  return out;
}

BrokerSettings brokerSettingsFor(const BridgeSettings &settings) {
  BrokerSettings broker = settings.broker;
  broker.clientId = QStringLiteral("vf3360-%1").arg(settings.name);
  broker.willTopic = QStringLiteral("vf3360/%1/status").arg(settings.name);
  broker.willPayload = QJsonDocument(QJsonObject{{QStringLiteral("state"), QStringLiteral("offline")},
                                                 {QStringLiteral("name"), settings.name},
                                                 {QStringLiteral("device"), settings.port.deviceName()}})
                           .toJson(QJsonDocument::Compact);
  return broker;
}

}  // namespace

DisplayBridge::DisplayBridge(BridgeSettings settings, QObject *parent)
    : QObject(parent),
      settings_(std::move(settings)),
      // A device that takes bytes faster than the line must not make texts
      // look sent, nor let the next one in before the line has taken this one.
      session_(settings_.port.namer(), {.holdUpdatesForLine = true, .reopenMs = kReopenMs}, this),
      link_(session_.link()),
      mqtt_(brokerSettingsFor(settings_), this) {
  stopDeadline_.setSingleShot(true);
  connect(&stopDeadline_, &QTimer::timeout, this, [this] {
    lineDone_ = brokerDone_ = true;
    finishStop();
  });
  tellSuperseded_.setSingleShot(true);
  connect(&tellSuperseded_, &QTimer::timeout, this, &DisplayBridge::tellSuperseded);
  statePath_ = DisplayState::pathFor(settings_.name, QProcessEnvironment::systemEnvironment());
  saveLater_.setSingleShot(true);
  connect(&saveLater_, &QTimer::timeout, this, &DisplayBridge::saveState);
  saverContext_.moveToThread(&saver_);
  saver_.start();
  statusLater_.setSingleShot(true);
  connect(&statusLater_, &QTimer::timeout, this, [this] { publishStatus(); });
  connect(&session_, &DisplaySession::opened, this, &DisplayBridge::portTried);
  connect(&session_, &DisplaySession::deviceLost, this, &DisplayBridge::deviceLost);
  connect(&session_, &DisplaySession::messageDone, this, &DisplayBridge::messageDone);
  connect(&session_, &DisplaySession::cueAnswered, this,
          [this] { publishEvent({{QStringLiteral("event"), QStringLiteral("cue-answered")}}); });
  connect(&session_, &DisplaySession::lineStuck, this,
          [this] { log(QStringLiteral("the line takes nothing; nothing more is written until it does")); });
  connect(&mqtt_, &MqttClient::connected, this, &DisplayBridge::brokerConnected);
  connect(&mqtt_, &MqttClient::connectionLost, this, &DisplayBridge::brokerLost);
  connect(&mqtt_, &MqttClient::messageArrived, this, &DisplayBridge::messageArrived);
  connect(&mqtt_, &MqttClient::refused, this, [this](const QString &why) {
    log(QStringLiteral("broker %1:%2: %3").arg(settings_.broker.host).arg(settings_.broker.port).arg(why));
    emit refused();
  });
  connect(&mqtt_, &MqttClient::subscriptionDenied, this, [this](const QString &topic, const QString &reason) {
    denied(QStringLiteral("subscribe to"), topic, reason, QStringLiteral("subscribe-denied"));
  });
  connect(&mqtt_, &MqttClient::publishDenied, this, [this](const QString &topic, const QString &reason) {
    denied(QStringLiteral("publish to"), topic, reason, QStringLiteral("publish-denied"));
  });
  connect(&mqtt_, &MqttClient::takenOver, this, [this](int count) {
    publishEvent({{QStringLiteral("event"), QStringLiteral("taken-over")}, {QStringLiteral("count"), count},
                  {QStringLiteral("clientId"), mqtt_.clientId()}, {QStringLiteral("reason"), QStringLiteral("client-id-taken")}},
                 1);
  });
  connect(&mqtt_, &MqttClient::published, this, [this](int id) {
    if (stopping_ && id == offlineMessage_) mqtt_.stop();
  });
  connect(&mqtt_, &MqttClient::stopped, this, [this] {
    brokerDone_ = true;
    finishStop();
  });
}

QString DisplayBridge::start() {
  if (QString failure = mqtt_.start(); !failure.isEmpty()) return failure;
  log(QStringLiteral("broker %1:%2, module on %3")
          .arg(settings_.broker.host)
          .arg(settings_.broker.port)
          .arg(settings_.port.deviceName()));
  // The newest thing the display was given, shown again once the port opens.
  if (const QString why = state_.load(statePath_); !why.isEmpty()) log(why);
  if (state_.text) wanted_ = Text{*state_.text, state_.textSpeed};
  wantedTopic_ = state_.textTopic;
  blankWanted_ = state_.blank && !wanted_;
  speed_ = state_.speed;
  portTried(session_.open(settings_.port.portNum, settings_.port.kind));
  return {};
}

DisplayBridge::~DisplayBridge() {
  saver_.quit();
  saver_.wait();
}

void DisplayBridge::saveSoon() {
  if (!saveLater_.isActive()) saveLater_.start(kTellEveryMs);
}

void DisplayBridge::saveState() {
  saveLater_.stop();
  state_.text = wanted_ ? std::optional(wanted_->text) : std::nullopt;
  state_.textSpeed = wanted_ ? wanted_->speed : 1;
  state_.textTopic = wantedTopic_;
  state_.blank = blankWanted_;
  state_.speed = speed_;
  QMetaObject::invokeMethod(&saverContext_, [this, state = state_, path = statePath_] {
    const QString why = state.save(path);
    QMetaObject::invokeMethod(this, [this, why] {
      // A failure is told once, and again after a success.
      if (!why.isEmpty() && !std::exchange(saveFailed_, true)) log(why);
      if (why.isEmpty()) saveFailed_ = false;
    });
  });
}

void DisplayBridge::stop(int signal) {
  if (stopping_) return;
  const char *name = signal == SIGTERM ? "SIGTERM" : signal == SIGINT ? "SIGINT" : signal == SIGHUP ? "SIGHUP" : nullptr;
  log(name ? QStringLiteral("%1: stopping").arg(QLatin1String(name)) : QStringLiteral("stopping"));
  // Nothing that waits is sent; it is told as superseded, before "offline".
  for (const LineWork &work : std::exchange(waiting_, {})) {
    if (work.kind == LineWork::Kind::Text) supersede(work.topic, QStringLiteral("stopped"));
  }
  tellSuperseded();
  saveState();
  QJsonObject offline = statusObject();
  offline[QStringLiteral("state")] = QStringLiteral("offline");
  offline[QStringLiteral("since")] = nowText();
  offline.remove(QStringLiteral("error"));
  offlineMessage_ =
      mqtt_.publish(topic(QStringLiteral("status")), QJsonDocument(offline).toJson(QJsonDocument::Compact), true, 1);
  stopping_ = true;
  session_.end();
  statusLater_.stop();
  stopDeadline_.start(kStopDeadlineMs);
  // The message on the line is finished (at most its line time and a
  // second), while the event loop goes on answering the broker.
  link_.closeWhenSent([this] {
    lineDone_ = true;
    finishStop();
  });
  // Without a connection there is nothing to wait for; otherwise the goodbye
  // follows the broker's receipt of "offline".
  if (offlineMessage_ == 0) mqtt_.stop();
}

void DisplayBridge::finishStop() {
  if (finished_ || !lineDone_ || !brokerDone_) return;
  finished_ = true;
  stopDeadline_.stop();
  // The state as it was at the stop is on the disk: what was handed to the
  // saver before is done once it has answered this.
  QMetaObject::invokeMethod(&saverContext_, [] {}, Qt::BlockingQueuedConnection);
  saver_.quit();
  saver_.wait();
  mqtt_.stop();
  link_.close();
  emit finished();
}

// ---------------------------------------------------------------------------
// The broker

void DisplayBridge::brokerConnected() {
  connectedAt_ = nowText();
  log(QStringLiteral("connected to the broker"));
  // A retained speed arrives before a retained text, and the display's own
  // text after its groups' texts, so that it is the one left showing.
  QStringList topics;
  for (const QString &leaf : {kSpeed, kCommand, kText}) {
    for (const QString &group : settings_.groups) topics << QStringLiteral("vf3360/group/%1/%2").arg(group, leaf);
    topics << topic(leaf);
  }
  topics << topic(kCheck);
  mqtt_.subscribe(topics);
  // The broker takes a client's packets in order: whoever sees this status
  // may publish, the subscriptions are in place. At QoS 1, so that the
  // broker tells when it does not let this display publish its status.
  textTopicsDenied_.clear();
  publishStatus(1);
}

void DisplayBridge::denied(const QString &what, const QString &topic, const QString &reason, const QString &code) {
  log(QStringLiteral("the broker does not let this display %1 %2: %3").arg(what, topic, reason));
  // At QoS 1 too: a denied event topic is told in the log.
  if (topic != this->topic(QStringLiteral("event"))) {
    publishEvent({{QStringLiteral("event"), QStringLiteral("denied")}, {QStringLiteral("topic"), topic},
                  {QStringLiteral("reason"), code}, {QStringLiteral("why"), reason}}, 1);
  }
  if (!topic.endsWith(u"/text") || textTopicsDenied_.contains(topic)) return;
  textTopicsDenied_ << topic;
  if (textTopicsDenied_.size() == settings_.groups.size() + 1) {
    log(QStringLiteral("none of the display's text topics can be subscribed"));
    emit refused();
  }
}

void DisplayBridge::brokerLost(const QString &why, int retryPauseMs) {
  if (stopping_) return;
  log(QStringLiteral("broker %1:%2: %3; next try in %4 s")
          .arg(settings_.broker.host)
          .arg(settings_.broker.port)
          .arg(why)
          .arg(retryPauseMs / 1000.0, 0, 'f', 1));
}

void DisplayBridge::messageArrived(const QString &topic, const QByteArray &payload, bool retained,
                                   const ResponseRoute &route) {
  if (stopping_) return;
  if (topic == this->topic(kCheck)) return answerCheck(payload, retained, route);
  if (payload.size() > kMaxPayload) {
    return refuse(topic, QStringLiteral("too-large"),
                  QStringLiteral("the payload is larger than 64 KiB (%1 bytes)").arg(payload.size()));
  }
  // Stateless: a payload cut inside a character is an error, not a character still to come.
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  const QString text = utf8(payload);
  if (utf8.hasError()) return refuse(topic, QStringLiteral("not-utf8"), QStringLiteral("the payload is not UTF-8"));

  const QString leaf = topic.section(u'/', -1);
  if (leaf == kText) {
    takeText(topic, text, retained);
  } else if (leaf == kSpeed) {
    takeSpeed(topic, text);
  } else if (leaf == kCommand) {
    takeCommand(topic, text, retained);
  }
}

// ---------------------------------------------------------------------------
// What arrives

// A check request: what "変換 + 送信" would make of the text, answered on the
// request's response topic with its correlation data, nothing sent to the
// line. A request without a place to answer, or a retained one (it would be
// answered at every connection), is refused.
void DisplayBridge::answerCheck(const QByteArray &payload, bool retained, const ResponseRoute &route) {
  const QString at = topic(kCheck);
  if (retained) return refuse(at, QStringLiteral("retained-check"), QStringLiteral("a check request is never retained"));
  if (!route.topic.startsWith(kReplyTopics) || route.topic.size() > kMaxReplyTopic ||
      route.topic.count(u'/') > kReplyTopics.count(u'/') + 3) {
    return refuse(at, QStringLiteral("bad-response-topic"),
                  QStringLiteral("the response topic is not under %1: %2").arg(kReplyTopics, quoted(route.topic, 80)));
  }
  QJsonObject answer{{QStringLiteral("limit"), int(kMaxInputLength)}};
  // Stateless: a payload cut inside a character is an error, not a character still to come.
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  const QString text = utf8(payload.first(std::min(payload.size(), kMaxPayload)));
  if (payload.size() > kMaxPayload) {
    answer[QStringLiteral("reason")] = QStringLiteral("too-large");
    answer[QStringLiteral("why")] = QStringLiteral("the payload is larger than 64 KiB (%1 bytes)").arg(payload.size());
  } else if (utf8.hasError()) {
    answer[QStringLiteral("reason")] = QStringLiteral("not-utf8");
    answer[QStringLiteral("why")] = QStringLiteral("the payload is not UTF-8");
  } else {
    const TextCheck check = checkText(text);
    QJsonArray unusable;
    for (const TextCheck::Range &range : check.unusable) {
      QJsonObject character = describeCharacter(QStringView(text).sliced(range.from, range.to - range.from));
      character[QStringLiteral("from")] = int(range.from);
      character[QStringLiteral("to")] = int(range.to);
      unusable.append(character);
    }
    answer[QStringLiteral("characters")] = int(check.characters);
    answer[QStringLiteral("frames")] = check.frames;
    answer[QStringLiteral("unusable")] = unusable;
    const RunOutcome outcome = runOutcomeOf(text);
    if (outcome == RunOutcome::TooLong) {
      answer[QStringLiteral("reason")] = QStringLiteral("too-long");
      answer[QStringLiteral("why")] = refusalText(outcome, text.size());
    }
  }
  mqtt_.respond(route, QJsonDocument(answer).toJson(QJsonDocument::Compact));
}

void DisplayBridge::takeText(const QString &topic, const QString &text, bool retained) {
  LineWork work;
  work.since.start();
  work.topic = topic;
  // The MQTT way to take a retained text down.
  if (text.isEmpty()) return takeDown(topic);
  // The broker hands over a retained text at every connection, and after a
  // restart of the bridge: it is news only if it differs from the last one
  // seen on its topic (a text published anew is always news).
  const QByteArray digest = DisplayState::digest(text.toUtf8());
  if (retained) {
    if (state_.retained.value(topic) == digest) {
      publishEvent({{QStringLiteral("event"), QStringLiteral("text-unchanged")},
                    {QStringLiteral("topic"), topic},
                    {QStringLiteral("reason"), QStringLiteral("seen-before")}});
      return;
    }
    state_.retained.insert(topic, digest);
    saveSoon();
  }
  // Refused as "変換 + 送信" refuses it: nothing converted, nothing sent.
  // The message itself is built only when it goes to the line.
  const RunOutcome outcome = runOutcomeOf(text);
  if (outcome == RunOutcome::TooLong) {
    return refuse(topic, QStringLiteral("too-long"), refusalText(outcome, text.size()));
  }

  const Text taken{text, speed_};
  wanted_ = taken;
  wantedTopic_ = topic;
  blankWanted_ = false;
  saveSoon();
  if (!link_.isOpen()) {
    publishEvent({{QStringLiteral("event"), QStringLiteral("text-waiting")},
                  {QStringLiteral("topic"), topic},
                  {QStringLiteral("reason"), QStringLiteral("no-device")},
                  {QStringLiteral("error"), deviceError_}});
    return;
  }
  work.text = taken;
  queue(std::move(work));
}

// ---------------------------------------------------------------------------
// The line's work

void DisplayBridge::queue(LineWork work) {
  if (work.kind == LineWork::Kind::Rewind) {
    // One rewind that waits is as good as two.
    if (!waiting_.empty() && waiting_.back().kind == LineWork::Kind::Rewind) return;
  } else {
    // A text or a clear makes whatever waits before it pointless.
    const QString reason = work.kind == LineWork::Kind::Text ? QStringLiteral("newer-text") : QStringLiteral("cleared");
    for (const LineWork &old : waiting_) {
      if (old.kind == LineWork::Kind::Text) supersede(old.topic, reason);
    }
    waiting_.clear();
  }
  waiting_.push_back(std::move(work));
  sendNext();
  if (!statusLater_.isActive()) statusLater_.start(kTellEveryMs);
}

// Writes what waits, in order, until a message is on the line.
void DisplayBridge::sendNext() {
  while (!onLine_ && !waiting_.empty() && link_.isOpen()) {
    LineWork work = std::move(waiting_.front());
    waiting_.erase(waiting_.begin());
    if (work.kind == LineWork::Kind::Text) {
      showText(std::move(work));
      continue;
    }
    const bool clear = work.kind == LineWork::Kind::Clear;
    if (!link_.sendCommand(clear ? CommandCode::DisplayClear : CommandCode::DataCue)) {
      refuse(work.topic, QStringLiteral("write-failed"), writeFailureText(link_.writeFailure()));
      continue;
    }
    if (!clear) continue;
    shown_ = {};
    if (work.takeDown) session_.stopUpdates();
    publishStatus();
  }
}

void DisplayBridge::showText(LineWork work) {
  const Text &text = work.text;
  const BuiltMessage message = session_.prepare(text.text, text.speed);
  const std::optional<WriteFailure> failure = session_.send(message);

  QJsonArray unusable;
  for (const TextCheck::Range &range : checkText(text.text).unusable) {
    unusable.append(describeCharacter(QStringView(text.text).sliced(range.from, range.to - range.from)));
  }
  const FaceText face = faceTextOf(message);
  work.shown = {{kText, text.text},
                {QStringLiteral("frames"), int(message.frames.size())},
                {QStringLiteral("unusable"), unusable},
                {QStringLiteral("face"), QJsonObject{{kText, face.text},
                                                     {QStringLiteral("dotsPerSecond"), scrollDotsPerSecond(face.speedByte)}}}};

  QJsonObject event{{QStringLiteral("event"), QStringLiteral("text-sent")},
                    {QStringLiteral("frames"), int(message.frames.size())},
                    {kSpeed, text.speed},
                    {QStringLiteral("characters"), int(text.text.size())}};
  if (message.hasUnusable()) {
    // The first character that ended a frame, as the program's box names it.
    event[QStringLiteral("unusable")] = describeCharacter(
        QStringView(text.text).sliced(message.firstUnusableFrom, message.firstUnusableTo - message.firstUnusableFrom));
  }
  if (failure) {
    event[QStringLiteral("reason")] = QStringLiteral("write-failed");
    event[QStringLiteral("error")] = writeFailureText(*failure);
    publishEvent(event);
    publishStatus();
    return;
  }
  // Told once the last byte has left the computer, with how long that took
  // from its arrival; the event loop goes on meanwhile (a 16-frame message
  // takes 2.19 s on the line).
  work.event = event;
  onLine_ = std::move(work);
}

void DisplayBridge::messageDone(bool allSent) {
  if (stopping_ || !onLine_) return;
  LineWork work = std::move(*onLine_);
  onLine_.reset();
  QJsonObject &event = work.event;
  event[QStringLiteral("ms")] = qRound(double(work.since.nsecsElapsed()) / 1e3) / 1000.0;
  // The port closes when its device goes away: then not every byte left.
  if (!allSent) {
    event[QStringLiteral("reason")] = QStringLiteral("port-closed");
    event[QStringLiteral("error")] = QStringLiteral("the port closed before the last byte had gone");
  } else {
    shown_ = work.shown;
  }
  publishEvent(event);
  publishStatus();  // what the display shows now, before anything that waited goes
  // What waited is the newest text given (wanted_): shown when the device is back.
  if (!link_.isOpen()) waiting_.clear();
  sendNext();
  publishStatus();
}

void DisplayBridge::supersede(const QString &topic, const QString &reason) {
  Superseded &batch = superseded_[reason];
  ++batch.count;
  if (!batch.topics.contains(topic)) batch.topics << topic;
  if (!tellSuperseded_.isActive()) tellSuperseded_.start(kTellEveryMs);
}

// At most one event a reason every kTellEveryMs: a flood of texts would
// otherwise be a flood of events.
void DisplayBridge::tellSuperseded() {
  tellSuperseded_.stop();
  for (auto it = superseded_.begin(); it != superseded_.end(); ++it) {
    const QString why = it.key() == QLatin1String("newer-text") ? QStringLiteral("replaced by a newer text")
                        : it.key() == QLatin1String("cleared")  ? QStringLiteral("dropped by a clear")
                                                                : QStringLiteral("dropped: the bridge stopped");
    publishEvent({{QStringLiteral("event"), QStringLiteral("text-superseded")},
                  {QStringLiteral("count"), it->count},
                  {QStringLiteral("topics"), QJsonArray::fromStringList(it->topics)},
                  {QStringLiteral("reason"), it.key()},
                  {QStringLiteral("why"), QStringLiteral("%1 text(s) never sent: %2").arg(it->count).arg(why)}});
  }
  superseded_.clear();
}

// An empty payload on a text topic: its retained text is gone, and if the
// display shows it (or a text from no topic), the display is cleared and the
// update commands stop.
void DisplayBridge::takeDown(const QString &topic) {
  state_.retained.remove(topic);
  saveSoon();
  QJsonObject event{{QStringLiteral("event"), QStringLiteral("text-taken-down")}, {QStringLiteral("topic"), topic}};
  if (wanted_ && !wantedTopic_.isEmpty() && wantedTopic_ != topic) {
    event[QStringLiteral("reason")] = QStringLiteral("other-topic");
    event[QStringLiteral("why")] = QStringLiteral("the display shows a text from %1; it stays").arg(wantedTopic_);
    return publishEvent(event);
  }
  publishEvent(event);
  wanted_.reset();
  blankWanted_ = true;
  LineWork work;
  work.kind = LineWork::Kind::Clear;
  work.topic = topic;
  work.takeDown = true;
  if (link_.isOpen()) queue(std::move(work));
  publishStatus();
}

void DisplayBridge::takeSpeed(const QString &topic, const QString &payload) {
  const QString value = payload.trimmed();
  const int speed = value.size() == 1 ? value.toInt() : 0;
  if (speed < 1 || speed > kSpeedOptionCount) {
    return refuse(topic, QStringLiteral("bad-speed"), QStringLiteral("the speed is 1 to 5, not \"%1\"").arg(quoted(value)));
  }
  speed_ = speed;
  saveSoon();
  publishEvent({{QStringLiteral("event"), kSpeed}, {kSpeed, speed_}});
  publishStatus();
}

void DisplayBridge::takeCommand(const QString &topic, const QString &payload, bool retained) {
  const QString command = payload.trimmed();
  const bool clear = command == QLatin1String("clear");
  if (clear || command == QLatin1String("rewind")) {
    // A command acts when it is published; one kept by the broker would act
    // again at every connection.
    if (retained) {
      return refuse(topic, QStringLiteral("retained-command"), QStringLiteral("a retained \"%1\" is not carried out").arg(command));
    }
    // A clear while the device is away is kept like a text: it comes back blank.
    if (!link_.isOpen() && !clear) {
      return refuse(topic, QStringLiteral("no-device"), QStringLiteral("ポートが開いていません: %1").arg(deviceError_));
    }
    if (clear) {
      wanted_.reset();
      blankWanted_ = true;
      saveSoon();
    }
    LineWork work;
    work.kind = clear ? LineWork::Kind::Clear : LineWork::Kind::Rewind;
    work.topic = topic;
    if (link_.isOpen()) queue(std::move(work));
  } else if (command == QLatin1String("auto-update on") || command == QLatin1String("auto-update off")) {
    // As the menu item 制御 → 自動更新 with Check1 set or cleared.
    session_.setAutoUpdate(command.endsWith(QLatin1String("on")));
    session_.applyAutoUpdate();
  } else {
    return refuse(topic, QStringLiteral("unknown-command"),
                  QStringLiteral("unknown command \"%1\" (clear, rewind, auto-update on, auto-update off)").arg(quoted(command)));
  }
  publishEvent({{QStringLiteral("event"), kCommand}, {kCommand, command}});
  publishStatus();
}

// `reason` for programs, `why` for people.
void DisplayBridge::refuse(const QString &topic, const QString &reason, const QString &why) {
  log(QStringLiteral("%1 refused: %2").arg(topic, why));
  publishEvent({{QStringLiteral("event"), QStringLiteral("refused")},
                {QStringLiteral("topic"), topic},
                {QStringLiteral("reason"), reason},
                {QStringLiteral("why"), why}});
}

// ---------------------------------------------------------------------------
// The serial line

void DisplayBridge::portTried(const PortOpenResult &opened) {
  if (stopping_) return;
  if (!opened.open) {
    // The session tries again every kReopenMs.
    const QString why = openFailureText(opened);
    const bool news = why != deviceError_;
    deviceError_ = why;
    if (news) {
      log(QStringLiteral("no device: %1; trying every %2 s").arg(why).arg(kReopenMs / 1000));
      publishStatus();
    }
    return;
  }
  const bool back = !deviceError_.isEmpty();
  deviceError_.clear();
  log(QStringLiteral("%1 open").arg(opened.device));
  if (back) publishEvent({{QStringLiteral("event"), QStringLiteral("device-back")}, {QStringLiteral("device"), opened.device}});
  publishStatus();
  // The newest thing given, again: the module may have lost it with its power.
  if (wanted_ || blankWanted_) {
    LineWork work;
    work.kind = wanted_ ? LineWork::Kind::Text : LineWork::Kind::Clear;
    work.text = wanted_.value_or(Text{});
    work.topic = wantedTopic_;
    work.takeDown = true;
    work.since.start();
    queue(std::move(work));
  }
}

// The link has closed the port; the session tries it again every kReopenMs.
// deviceError_ is empty while the port is taken to be open.
void DisplayBridge::deviceLost(QSerialPort::SerialPortError error) {
  if (stopping_ || !deviceError_.isEmpty()) return;
  deviceError_ = QStringLiteral("the device has gone away (%1)")
                     .arg(QString::fromLatin1(QMetaEnum::fromType<QSerialPort::SerialPortError>().valueToKey(error)));
  log(QStringLiteral("%1; trying every %2 s").arg(deviceError_).arg(kReopenMs / 1000));
  publishEvent({{QStringLiteral("event"), QStringLiteral("device-lost")},
                {QStringLiteral("reason"), QStringLiteral("device-gone")},
                {QStringLiteral("error"), deviceError_}});
  publishStatus();
}

// ---------------------------------------------------------------------------
// What the bridge tells

QJsonObject DisplayBridge::statusObject() const {
  QJsonObject status{{QStringLiteral("state"), link_.isOpen() ? QStringLiteral("online") : QStringLiteral("no-device")},
                     {QStringLiteral("name"), settings_.name},
                     {QStringLiteral("groups"), QJsonArray::fromStringList(settings_.groups)},
                     {QStringLiteral("since"), stateSince_},
                     {QStringLiteral("device"), settings_.port.deviceName()},
                     {QStringLiteral("connected"), connectedAt_},
                     {kSpeed, speed_},
                     {QStringLiteral("autoUpdate"), session_.autoUpdate()},
                     {kText, QString()},
                     {QStringLiteral("frames"), 0},
                     {QStringLiteral("unusable"), QJsonArray()},
                     {QStringLiteral("face"), QJsonObject{{kText, QString()}, {QStringLiteral("dotsPerSecond"), scrollDotsPerSecond(0)}}}};
  for (auto it = shown_.begin(); it != shown_.end(); ++it) status[it.key()] = it.value();
  if (!link_.isOpen()) status[QStringLiteral("error")] = deviceError_;
  // Apart from what is shown: the message on its way, and what waits.
  if (onLine_) status[QStringLiteral("sending")] = onLine_->text.text;
  QJsonArray waiting;
  for (const LineWork &work : waiting_) {
    if (work.kind == LineWork::Kind::Text) waiting.append(QJsonObject{{kText, work.text.text}});
    else waiting.append(QJsonObject{{kCommand, work.kind == LineWork::Kind::Clear ? QStringLiteral("clear") : QStringLiteral("rewind")}});
  }
  if (!waiting.isEmpty()) status[QStringLiteral("waiting")] = waiting;
  return status;
}

// Status and events go at QoS 0: over a connection that stays up they arrive
// all the same, and the status is published anew on every connection. With
// QoS 1 the broker answers each with an acknowledgement of a few bytes, and a
// text that follows at once can wait behind them for the delayed TCP
// acknowledgement (Nagle's algorithm at the broker): bench_fleet measured the
// first of two texts in a row reaching some displays up to 50 ms late.
void DisplayBridge::publishStatus(int qos) {
  statusLater_.stop();
  const bool online = link_.isOpen();
  if (stateSince_.isEmpty() || online != onlineSince_) {
    onlineSince_ = online;
    stateSince_ = nowText();
  }
  if (stopping_) return;
  mqtt_.publish(topic(QStringLiteral("status")), QJsonDocument(statusObject()).toJson(QJsonDocument::Compact), true, qos);
}

void DisplayBridge::publishEvent(QJsonObject event, int qos) {
  if (stopping_) return;
  event[QStringLiteral("time")] = nowText();
  mqtt_.publish(topic(QStringLiteral("event")), QJsonDocument(event).toJson(QJsonDocument::Compact), false, qos);
}

// One line a happening, whatever it quotes.
void DisplayBridge::log(const QString &line) const {
  std::fprintf(stderr, "vf3360-bridge %s: %s\n", settings_.name.toUtf8().constData(), quoted(line, -1).toUtf8().constData());
  std::fflush(stderr);
}

}  // namespace vf
