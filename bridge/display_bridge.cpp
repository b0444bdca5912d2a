#include "bridge/display_bridge.h"

#include "encoder/message_builder.h"
#include "encoder/text_check.h"
#include "protocol/packet.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMetaEnum>
#include <QStringDecoder>

#include <cstdio>
#include <utility>

namespace vf {

namespace {


const QString kText = QStringLiteral("text");
const QString kSpeed = QStringLiteral("speed");
const QString kCommand = QStringLiteral("command");

// "U+9AD9"; a katakana and its sound mark, or any other pair, as "U+FF8A U+FF9F".
QString codePoints(QStringView characters) {
  QStringList points;
  for (const char32_t point : characters.toUcs4()) {
    points << QStringLiteral("U+") + QString::number(uint(point), 16).toUpper().rightJustified(4, u'0');
  }
  return points.join(u' ');
}

QJsonObject describeCharacter(QStringView characters) {
  return {{QStringLiteral("character"), characters.toString()}, {QStringLiteral("codePoint"), codePoints(characters)}};
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
      link_(settings_.port.namer(), this),
      mqtt_(brokerSettingsFor(settings_), this) {
  tick_.setSingleShot(true);
  tick_.setTimerType(Qt::PreciseTimer);
  tick_.setInterval(kTickMs);
  connect(&tick_, &QTimer::timeout, this, &DisplayBridge::tick);
  reopen_.setSingleShot(true);
  connect(&reopen_, &QTimer::timeout, this, &DisplayBridge::openPort);
  stopDeadline_.setSingleShot(true);
  connect(&stopDeadline_, &QTimer::timeout, this, [this] { mqtt_.stop(); emit finished(); });

  connect(&link_, &ModuleLink::event, this, &DisplayBridge::linkEvent);
  connect(&mqtt_, &MqttClient::connected, this, &DisplayBridge::brokerConnected);
  connect(&mqtt_, &MqttClient::connectionLost, this, &DisplayBridge::brokerLost);
  connect(&mqtt_, &MqttClient::messageArrived, this, &DisplayBridge::messageArrived);
  connect(&mqtt_, &MqttClient::refused, this, [this](const QString &why) {
    log(QStringLiteral("broker %1:%2: %3").arg(settings_.broker.host).arg(settings_.broker.port).arg(why));
    emit refused();
  });
  connect(&mqtt_, &MqttClient::subscriptionDenied, this, [this](const QString &topic, const QString &reason) {
    denied(QStringLiteral("subscribe to"), topic, reason);
  });
  connect(&mqtt_, &MqttClient::publishDenied, this, [this](const QString &topic, const QString &reason) {
    denied(QStringLiteral("publish to"), topic, reason);
  });
  connect(&mqtt_, &MqttClient::takenOver, this, [this](int count) {
    publishEvent({{QStringLiteral("event"), QStringLiteral("taken-over")}, {QStringLiteral("count"), count},
                  {QStringLiteral("clientId"), mqtt_.clientId()}}, 1);
  });
  connect(&mqtt_, &MqttClient::published, this, [this](int id) {
    if (stopping_ && id == offlineMessage_) mqtt_.stop();
  });
  connect(&mqtt_, &MqttClient::stopped, this, [this] {
    if (!stopDeadline_.isActive()) return;  // finished already
    stopDeadline_.stop();
    emit finished();
  });
}

QString DisplayBridge::start() {
  if (QString failure = mqtt_.start(); !failure.isEmpty()) return failure;
  log(QStringLiteral("broker %1:%2, module on %3")
          .arg(settings_.broker.host)
          .arg(settings_.broker.port)
          .arg(settings_.port.deviceName()));
  openPort();
  return {};
}

void DisplayBridge::stop() {
  if (stopping_) return;
  log(QStringLiteral("stopping"));
  QJsonObject offline = statusObject();
  offline[QStringLiteral("state")] = QStringLiteral("offline");
  offline.remove(QStringLiteral("error"));
  offlineMessage_ =
      mqtt_.publish(topic(QStringLiteral("status")), QJsonDocument(offline).toJson(QJsonDocument::Compact), true, 1);
  stopping_ = true;
  tick_.stop();
  reopen_.stop();
  if (link_.isOpen()) {
    // The bridge ends: the last byte first (at most its line time and a second).
    if (const QString failure = link_.waitUntilSent(); !failure.isEmpty()) log(failure);
    link_.close();
  }
  stopDeadline_.start(kStopDeadlineMs);
  // Without a connection there is nothing to wait for; otherwise the goodbye
  // follows the broker's receipt of "offline".
  if (offlineMessage_ == 0) mqtt_.stop();
}

// ---------------------------------------------------------------------------
// The broker

void DisplayBridge::brokerConnected() {
  connectedAt_ = QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs);
  log(QStringLiteral("connected to the broker"));
  // A retained speed arrives before a retained text, and the display's own
  // text after its groups' texts, so that it is the one left showing.
  QStringList topics;
  for (const QString &leaf : {kSpeed, kCommand, kText}) {
    for (const QString &group : settings_.groups) topics << QStringLiteral("vf3360/group/%1/%2").arg(group, leaf);
    topics << topic(leaf);
  }
  mqtt_.subscribe(topics);
  // The broker takes a client's packets in order: whoever sees this status
  // may publish, the subscriptions are in place. At QoS 1, so that the
  // broker tells when it does not let this display publish its status.
  textTopicsDenied_.clear();
  publishStatus(1);
}

void DisplayBridge::denied(const QString &what, const QString &topic, const QString &reason) {
  log(QStringLiteral("the broker does not let this display %1 %2: %3").arg(what, topic, reason));
  // At QoS 1 too: a denied event topic is told in the log.
  if (topic != this->topic(QStringLiteral("event"))) {
    publishEvent({{QStringLiteral("event"), QStringLiteral("denied")}, {QStringLiteral("topic"), topic}, {QStringLiteral("why"), reason}}, 1);
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

void DisplayBridge::messageArrived(const QString &topic, const QByteArray &payload, bool retained) {
  if (stopping_) return;
  if (payload.size() > kMaxPayload) {
    return refuse(topic, QStringLiteral("the payload is larger than 64 KiB (%1 bytes)").arg(payload.size()));
  }
  QStringDecoder utf8(QStringDecoder::Utf8);
  const QString text = utf8(payload);
  if (utf8.hasError()) return refuse(topic, QStringLiteral("the payload is not UTF-8"));

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

void DisplayBridge::takeText(const QString &topic, const QString &text, bool retained) {
  QElapsedTimer since;
  since.start();
  const BuiltMessage message = buildMessage(text, speed_);
  // Refused as "変換 + 送信" refuses it: nothing converted, nothing sent.
  if (message.outcome == RunOutcome::TooLong) return refuse(topic, QStringLiteral("文字数オーバー"));
  if (message.outcome == RunOutcome::Empty) return refuse(topic, QStringLiteral("文字を入力してください"));

  const Text taken{text, speed_};
  // The broker hands over a retained text at every connection. The one the
  // module shows already is not sent again: a broker that restarts or a
  // network that drops for a moment would otherwise start the display's
  // scrolling over. A text published anew (not retained) is always sent.
  if (retained && wanted_ == taken) {
    publishEvent({{QStringLiteral("event"), QStringLiteral("text-unchanged")}, {QStringLiteral("topic"), topic}});
    return;
  }
  wanted_ = taken;
  if (!link_.isOpen()) {
    publishEvent({{QStringLiteral("event"), QStringLiteral("text-waiting")},
                  {QStringLiteral("topic"), topic},
                  {QStringLiteral("error"), deviceError_}});
    return;
  }
  showText(taken, message, since);
}

void DisplayBridge::showText(const Text &text, const BuiltMessage &message, const QElapsedTimer &since) {
  // As Command1_Click: auto update applied, the message written in one go,
  // then the update command every 20 ms whether auto update is on or not.
  applyAutoUpdate();
  const QString failure = link_.sendMessage(message.writes) ? QString() : link_.failureText();
  enableTick();

  QJsonArray unusable;
  for (const TextCheck::Range &range : checkText(text.text).unusable) {
    unusable.append(describeCharacter(QStringView(text.text).sliced(range.from, range.to - range.from)));
  }
  shown_ = {{kText, text.text},
            {QStringLiteral("frames"), int(message.frames.size())},
            {QStringLiteral("unusable"), unusable}};

  QJsonObject event{{QStringLiteral("event"), QStringLiteral("text-sent")},
                    {QStringLiteral("frames"), int(message.frames.size())},
                    {kSpeed, text.speed},
                    {QStringLiteral("characters"), int(text.text.size())}};
  if (message.hasUnusable()) {
    // The first character that ended a frame, as the program's box names it.
    event[QStringLiteral("unusable")] = describeCharacter(
        QStringView(text.text).sliced(message.firstUnusableFrom, message.firstUnusableTo - message.firstUnusableFrom));
  }
  if (!failure.isEmpty()) {
    event[QStringLiteral("error")] = failure;
    publishEvent(event);
    publishStatus();
    return;
  }
  // Told once the last byte has left the computer, with how long that took;
  // the event loop goes on meanwhile (a 16-frame message takes 2.19 s on the line).
  link_.whenSent([this, event, since]() mutable {
    event[QStringLiteral("ms")] = qRound(double(since.nsecsElapsed()) / 1e3) / 1000.0;
    // The port closes when its device goes away: then not every byte left.
    if (!link_.isOpen()) event[QStringLiteral("error")] = QStringLiteral("the port closed before the last byte had gone");
    publishEvent(event);
    publishStatus();
  });
}

void DisplayBridge::takeSpeed(const QString &topic, const QString &payload) {
  const QString value = payload.trimmed();
  const int speed = value.size() == 1 ? value.toInt() : 0;
  if (speed < 1 || speed > kSpeedOptionCount) {
    return refuse(topic, QStringLiteral("the speed is 1 to 5, not \"%1\"").arg(value.left(40)));
  }
  speed_ = speed;
  publishEvent({{QStringLiteral("event"), kSpeed}, {kSpeed, speed_}});
  publishStatus();
}

void DisplayBridge::takeCommand(const QString &topic, const QString &payload, bool retained) {
  const QString command = payload.trimmed();
  const bool clear = command == QLatin1String("clear");
  if (clear || command == QLatin1String("rewind")) {
    // A command acts when it is published; one kept by the broker would act
    // again at every connection.
    if (retained) return refuse(topic, QStringLiteral("a retained \"%1\" is not carried out").arg(command));
    if (!link_.isOpen()) return refuse(topic, QStringLiteral("ポートが開いていません: %1").arg(deviceError_));
    if (!link_.sendCommand(clear ? CommandCode::DisplayClear : CommandCode::DataCue)) {
      return refuse(topic, link_.failureText());
    }
    if (clear) {
      wanted_.reset();
      shown_ = {};
    }
  } else if (command == QLatin1String("auto-update on") || command == QLatin1String("auto-update off")) {
    // As the menu item 制御 → 自動更新 with Check1 set or cleared.
    autoUpdate_ = command.endsWith(QLatin1String("on"));
    applyAutoUpdate();
  } else {
    return refuse(topic, QStringLiteral("unknown command \"%1\" (clear, rewind, auto-update on, auto-update off)")
                             .arg(command.left(40)));
  }
  publishEvent({{QStringLiteral("event"), kCommand}, {kCommand, command}});
  publishStatus();
}

void DisplayBridge::refuse(const QString &topic, const QString &why) {
  log(QStringLiteral("%1 refused: %2").arg(topic, why));
  publishEvent({{QStringLiteral("event"), QStringLiteral("refused")},
                {QStringLiteral("topic"), topic},
                {QStringLiteral("why"), why}});
}

// ---------------------------------------------------------------------------
// The serial line

void DisplayBridge::openPort() {
  if (stopping_) return;
  const PortOpenResult opened = link_.open(settings_.port.portNum, settings_.port.kind);
  if (!opened.open) {
    const QString why = openFailureDetail(opened);
    const bool news = why != deviceError_;
    deviceError_ = why;
    if (news) {
      log(QStringLiteral("no device: %1; trying every %2 s").arg(why).arg(kReopenMs / 1000));
      publishStatus();
    }
    reopen_.start(kReopenMs);
    return;
  }
  const bool back = !deviceError_.isEmpty();
  deviceError_.clear();
  log(QStringLiteral("%1 open").arg(opened.device));
  if (back) publishEvent({{QStringLiteral("event"), QStringLiteral("device-back")}, {QStringLiteral("device"), opened.device}});
  publishStatus();
  if (wanted_) {
    QElapsedTimer since;
    since.start();
    showText(*wanted_, buildMessage(wanted_->text, wanted_->speed), since);
  }
}

void DisplayBridge::linkEvent(const LinkEvent &event) {
  if (stopping_) return;
  // As MSComm1_OnComm: the cue reply answered, a device that has gone closed,
  // and auto update stopped by any event while it is switched off.
  if (event.kind == LinkEvent::Kind::Reply && event.verdict.sendDataCue) {
    link_.sendCommand(CommandCode::DataCue);
    publishEvent({{QStringLiteral("event"), QStringLiteral("cue-answered")}});
  }
  // deviceError_ is empty while the port is taken to be open; the link has
  // closed it itself.
  if (event.deviceGone && deviceError_.isEmpty()) {
    tick_.stop();
    deviceError_ = QStringLiteral("the device has gone away (%1)")
                       .arg(QString::fromLatin1(QMetaEnum::fromType<QSerialPort::SerialPortError>().valueToKey(event.error)));
    log(QStringLiteral("%1; trying every %2 s").arg(deviceError_).arg(kReopenMs / 1000));
    publishEvent({{QStringLiteral("event"), QStringLiteral("device-lost")}, {QStringLiteral("error"), deviceError_}});
    publishStatus();
    reopen_.start(kReopenMs);
  }
  if (!autoUpdate_) tick_.stop();
}

void DisplayBridge::tick() {
  // As Timer1_Timer: the next tick counted from the start of this one.
  tick_.start();
  if (!link_.sendCommand(CommandCode::Update)) tick_.stop();
}

void DisplayBridge::applyAutoUpdate() {
  if (autoUpdate_) {
    enableTick();
  } else {
    tick_.stop();
  }
}

void DisplayBridge::enableTick() {
  if (!tick_.isActive()) tick_.start();
}

// ---------------------------------------------------------------------------
// What the bridge tells

QJsonObject DisplayBridge::statusObject() const {
  QJsonObject status{{QStringLiteral("state"), link_.isOpen() ? QStringLiteral("online") : QStringLiteral("no-device")},
                     {QStringLiteral("name"), settings_.name},
                     {QStringLiteral("device"), settings_.port.deviceName()},
                     {QStringLiteral("connected"), connectedAt_},
                     {kSpeed, speed_},
                     {QStringLiteral("autoUpdate"), autoUpdate_},
                     {kText, QString()},
                     {QStringLiteral("frames"), 0},
                     {QStringLiteral("unusable"), QJsonArray()}};
  for (auto it = shown_.begin(); it != shown_.end(); ++it) status[it.key()] = it.value();
  if (!link_.isOpen()) status[QStringLiteral("error")] = deviceError_;
  return status;
}

// Status and events go at QoS 0: over a connection that stays up they arrive
// all the same, and the status is published anew on every connection. With
// QoS 1 the broker answers each with an acknowledgement of a few bytes, and a
// text that follows at once can wait behind them for the delayed TCP
// acknowledgement (Nagle's algorithm at the broker): bench_fleet measured the
// first of two texts in a row reaching some displays up to 50 ms late.
void DisplayBridge::publishStatus(int qos) {
  if (stopping_) return;
  mqtt_.publish(topic(QStringLiteral("status")), QJsonDocument(statusObject()).toJson(QJsonDocument::Compact), true, qos);
}

void DisplayBridge::publishEvent(QJsonObject event, int qos) {
  if (stopping_) return;
  mqtt_.publish(topic(QStringLiteral("event")), QJsonDocument(event).toJson(QJsonDocument::Compact), false, qos);
}

void DisplayBridge::log(const QString &line) const {
  std::fprintf(stderr, "vf3360-bridge %s: %s\n", settings_.name.toUtf8().constData(), line.toUtf8().constData());
  std::fflush(stderr);
}

}  // namespace vf
