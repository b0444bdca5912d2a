#include "bridge/mqtt_client.h"

#include <QRandomGenerator>

#include <mosquitto.h>
#include <mqtt_protocol.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace vf {

namespace {

void initialiseLibraryOnce() {
  static const bool initialised = [] {
    mosquitto_lib_init();
    std::atexit([] { mosquitto_lib_cleanup(); });
    return true;
  }();
  (void)initialised;
}

QString errorText(int code) {
  if (code == MOSQ_ERR_ERRNO) return QString::fromLocal8Bit(std::strerror(errno));
  return QString::fromUtf8(mosquitto_strerror(code));
}

}  // namespace

MqttClient::MqttClient(BrokerSettings settings, QObject *parent) : QObject(parent), settings_(std::move(settings)), nextPauseMs_(settings_.firstRetryMs) {
  initialiseLibraryOnce();
  retry_.setSingleShot(true);
  connect(&retry_, &QTimer::timeout, this, &MqttClient::attempt);
  housekeeping_.setInterval(1000);
  connect(&housekeeping_, &QTimer::timeout, this, [this] {
    if (!live_) return;
    mosquitto_loop_misc(mosq_);
    afterCall();
  });
}

MqttClient::~MqttClient() {
  dropSocket();
  if (mosq_) mosquitto_destroy(mosq_);
}

QString MqttClient::start() {
  const QByteArray id = settings_.clientId.toUtf8();
  mosq_ = mosquitto_new(id.constData(), /*clean_session=*/false, this);
  if (!mosq_) return QStringLiteral("cannot set up the MQTT client: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
  mosquitto_connect_callback_set(mosq_, &MqttClient::onConnect);
  mosquitto_disconnect_callback_set(mosq_, &MqttClient::onDisconnect);
  mosquitto_message_callback_set(mosq_, &MqttClient::onMessage);
  mosquitto_publish_callback_set(mosq_, &MqttClient::onPublish);

  // Small packets leave at once: with Nagle's algorithm a packet waits while
  // the one before is unacknowledged, and the broker acknowledges a QoS 0
  // publish only with the delayed TCP acknowledgement, up to 40 ms later.
  int rc = mosquitto_int_option(mosq_, MOSQ_OPT_TCP_NODELAY, 1);
  if (rc != MOSQ_ERR_SUCCESS) return QStringLiteral("TCP_NODELAY: %1").arg(errorText(rc));
  // MQTT 5: a retained message says so also when it arrives live (retain as
  // published), and the session is kept while the client is away only with
  // an expiry interval (here: never expires). libmosquitto has no
  // asynchronous connect that takes CONNECT properties, but keeps those given
  // to mosquitto_connect_bind_v5 for every later connection, and refuses a
  // keep-alive under 5 s before it connects.
  mosquitto_int_option(mosq_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5);
  mosquitto_property *properties = nullptr;
  mosquitto_property_add_int32(&properties, MQTT_PROP_SESSION_EXPIRY_INTERVAL, UINT32_MAX);
  rc = mosquitto_connect_bind_v5(mosq_, "localhost", 1883, /*keepalive=*/1, nullptr, properties);
  mosquitto_property_free_all(&properties);
  if (rc != MOSQ_ERR_INVAL) return QStringLiteral("session expiry: %1").arg(errorText(rc));
  if (!settings_.willTopic.isEmpty()) {
    rc = mosquitto_will_set(mosq_, settings_.willTopic.toUtf8().constData(), int(settings_.willPayload.size()),
                            settings_.willPayload.constData(), 1, true);
    if (rc != MOSQ_ERR_SUCCESS) return QStringLiteral("last will: %1").arg(errorText(rc));
  }
  if (!settings_.username.isEmpty()) {
    rc = mosquitto_username_pw_set(mosq_, settings_.username.toUtf8().constData(),
                                   settings_.password.isNull() ? nullptr : settings_.password.constData());
    if (rc != MOSQ_ERR_SUCCESS) return QStringLiteral("user name: %1").arg(errorText(rc));
  }
  if (!settings_.caFile.isEmpty()) {
    rc = mosquitto_tls_set(mosq_, settings_.caFile.toLocal8Bit().constData(), nullptr, nullptr, nullptr, nullptr);
    if (rc != MOSQ_ERR_SUCCESS) return QStringLiteral("TLS with %1: %2").arg(settings_.caFile, errorText(rc));
  }
  housekeeping_.start();
  attempt();
  return {};
}

void MqttClient::attempt() {
  if (stopping_) return;
  why_.clear();
  const int rc = mosquitto_connect_async(mosq_, settings_.host.toUtf8().constData(), settings_.port,
                                         settings_.keepAliveSeconds);
  live_ = mosquitto_socket(mosq_) >= 0;
  if (rc != MOSQ_ERR_SUCCESS) why_ = errorText(rc);
  if (!live_) {
    lost();
    return;
  }
  watchSocket();
  afterCall();
}

void MqttClient::watchSocket() {
  dropSocket();
  const int fd = mosquitto_socket(mosq_);
  reader_ = new QSocketNotifier(fd, QSocketNotifier::Read, this);
  writer_ = new QSocketNotifier(fd, QSocketNotifier::Write, this);
  connect(reader_, &QSocketNotifier::activated, this, [this] {
    mosquitto_loop_read(mosq_, 1);
    afterCall();
  });
  connect(writer_, &QSocketNotifier::activated, this, [this] {
    mosquitto_loop_write(mosq_, 1);
    afterCall();
  });
}

void MqttClient::dropSocket() {
  // The library closes the socket itself: the notifiers stop watching it at
  // once, before the number can be given to another file.
  for (QSocketNotifier *notifier : {reader_.data(), writer_.data()}) {
    if (!notifier) continue;
    notifier->setEnabled(false);
    notifier->deleteLater();
  }
  reader_.clear();
  writer_.clear();
}

void MqttClient::afterCall() {
  if (!live_) return;
  if (mosquitto_socket(mosq_) < 0) {
    live_ = false;
    dropSocket();
    if (stopping_) {
      QMetaObject::invokeMethod(this, &MqttClient::stopped, Qt::QueuedConnection);
    } else {
      lost();
    }
    return;
  }
  if (writer_) writer_->setEnabled(mosquitto_want_write(mosq_));
}

void MqttClient::lost() {
  connected_ = false;
  // A quarter more or less at random: bridges that lost the same broker at
  // the same moment do not all come back in the same millisecond.
  const int pauseMs = nextPauseMs_ * QRandomGenerator::global()->bounded(75, 126) / 100;
  retry_.start(pauseMs);
  nextPauseMs_ = std::min(2 * nextPauseMs_, settings_.longestRetryMs);
  const QString why = why_.isEmpty() ? QStringLiteral("the connection closed") : why_;
  QMetaObject::invokeMethod(this, [this, why, pauseMs] { emit connectionLost(why, pauseMs); }, Qt::QueuedConnection);
}

bool MqttClient::subscribe(const QStringList &topics) {
  if (!connected_) return false;
  bool ok = true;
  for (const QString &topic : topics) {
    ok = mosquitto_subscribe_v5(mosq_, nullptr, topic.toUtf8().constData(), 1, MQTT_SUB_OPT_RETAIN_AS_PUBLISHED, nullptr) ==
             MOSQ_ERR_SUCCESS &&
         ok;
  }
  afterCall();
  return ok;
}

int MqttClient::publish(const QString &topic, const QByteArray &payload, bool retain, int qos) {
  if (!connected_) return 0;
  int id = 0;
  const int rc = mosquitto_publish(mosq_, &id, topic.toUtf8().constData(), int(payload.size()), payload.constData(),
                                   qos, retain);
  afterCall();
  return rc == MOSQ_ERR_SUCCESS ? id : 0;
}

void MqttClient::stop() {
  if (stopping_) return;
  stopping_ = true;
  retry_.stop();
  housekeeping_.stop();
  if (live_ && mosquitto_disconnect(mosq_) == MOSQ_ERR_SUCCESS) {
    afterCall();  // the goodbye usually leaves at once, and the library closes the socket
    return;
  }
  live_ = false;
  dropSocket();
  QMetaObject::invokeMethod(this, &MqttClient::stopped, Qt::QueuedConnection);
}

// ---------------------------------------------------------------------------
// The library's callbacks: they run inside a call into the library, so they
// only take note and leave the rest to the event loop.

void MqttClient::onConnect(mosquitto *, void *self, int code) {
  auto *client = static_cast<MqttClient *>(self);
  if (code != 0) {
    // The library closes the connection; afterCall() takes it from there.
    client->why_ = QStringLiteral("the broker refused the connection: %1").arg(QString::fromUtf8(mosquitto_reason_string(code)));
    return;
  }
  client->connected_ = true;
  client->nextPauseMs_ = client->settings_.firstRetryMs;
  QMetaObject::invokeMethod(client, &MqttClient::connected, Qt::QueuedConnection);
}

void MqttClient::onDisconnect(mosquitto *, void *self, int code) {
  auto *client = static_cast<MqttClient *>(self);
  client->connected_ = false;
  if (code != 0 && client->why_.isEmpty()) client->why_ = errorText(code);
}

void MqttClient::onMessage(mosquitto *, void *self, const mosquitto_message *message) {
  auto *client = static_cast<MqttClient *>(self);
  QString topic = QString::fromUtf8(message->topic);
  QByteArray payload(static_cast<const char *>(message->payload), message->payloadlen);
  const bool retained = message->retain;
  QMetaObject::invokeMethod(
      client, [client, topic, payload, retained] { emit client->messageArrived(topic, payload, retained); },
      Qt::QueuedConnection);
}

void MqttClient::onPublish(mosquitto *, void *self, int messageId) {
  auto *client = static_cast<MqttClient *>(self);
  QMetaObject::invokeMethod(client, [client, messageId] { emit client->published(messageId); }, Qt::QueuedConnection);
}

}  // namespace vf
