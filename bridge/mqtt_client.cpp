#include "bridge/mqtt_client.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTcpSocket>

#include <mosquitto.h>
#include <mqtt_protocol.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

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

QString reasonText(int reason) {
  return QStringLiteral("%1 (0x%2)").arg(QString::fromUtf8(mosquitto_reason_string(reason))).arg(reason, 2, 16, QChar(u'0'));
}

// Refusals that the same user name, password and client id meet again.
bool refusedForGood(int reason) {
  return reason == MQTT_RC_UNSUPPORTED_PROTOCOL_VERSION || reason == MQTT_RC_CLIENTID_NOT_VALID ||
         reason == MQTT_RC_BAD_USERNAME_OR_PASSWORD || reason == MQTT_RC_NOT_AUTHORIZED || reason == MQTT_RC_BANNED ||
         reason == MQTT_RC_BAD_AUTHENTICATION_METHOD;
}

// Why the broker's certificate was not accepted, in words.
QString certificateProblem(long verifyResult, const BrokerSettings &settings) {
  const QString ca = settings.caFile.isEmpty() ? QStringLiteral("the system's CAs") : settings.caFile;
  switch (verifyResult) {
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_CERT_UNTRUSTED:
      return QStringLiteral("TLS: the broker's certificate is not signed by a CA of %1 (unknown CA)").arg(ca);
    case X509_V_ERR_CERT_HAS_EXPIRED:
      return QStringLiteral("TLS: the broker's certificate has expired");
    case X509_V_ERR_CERT_NOT_YET_VALID:
      return QStringLiteral("TLS: the broker's certificate is not valid yet (is this computer's clock right?)");
    case X509_V_ERR_HOSTNAME_MISMATCH:
      break;
    default:
      return QStringLiteral("TLS: the broker's certificate was not accepted: %1").arg(QString::fromUtf8(X509_verify_cert_error_string(verifyResult)));
  }
  return QStringLiteral("TLS: the broker's certificate is not made out to the host name \"%1\"").arg(settings.host);
}

}  // namespace

QString caFileProblem(const QString &path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return QStringLiteral("cannot read it: %1").arg(file.errorString());
  if (file.size() > 16 * 1024 * 1024) return QStringLiteral("it is over 16 MiB, no CA file is that large");
  const QByteArray pem = file.readAll();
  BIO *bio = BIO_new_mem_buf(pem.constData(), int(pem.size()));
  STACK_OF(X509_INFO) *infos = PEM_X509_INFO_read_bio(bio, nullptr, nullptr, nullptr);
  int certificates = 0;
  for (int i = 0; infos && i < sk_X509_INFO_num(infos); ++i) certificates += sk_X509_INFO_value(infos, i)->x509 ? 1 : 0;
  sk_X509_INFO_pop_free(infos, X509_INFO_free);
  BIO_free(bio);
  return certificates > 0 ? QString() : QStringLiteral("it holds no certificate (PEM, \"-----BEGIN CERTIFICATE-----\")");
}

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
  mosquitto_connect_v5_callback_set(mosq_, &MqttClient::onConnect);
  mosquitto_disconnect_v5_callback_set(mosq_, &MqttClient::onDisconnect);
  mosquitto_message_v5_callback_set(mosq_, &MqttClient::onMessage);
  mosquitto_publish_v5_callback_set(mosq_, &MqttClient::onPublish);
  mosquitto_subscribe_v5_callback_set(mosq_, &MqttClient::onSubscribe);
  mosquitto_log_callback_set(mosq_, &MqttClient::onLog);

  int rc = mosquitto_int_option(mosq_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5);
  if (rc != MOSQ_ERR_SUCCESS) return QStringLiteral("MQTT 5: %1").arg(errorText(rc));
  // Under MQTT 5 a session ends with its connection unless it is given an
  // expiry: this one never expires. libmosquitto 2.0 has no asynchronous
  // connect that takes properties, but keeps those of
  // mosquitto_connect_bind_v5 for every later connect, also when it refuses
  // the call's other arguments; this call (keep-alive 1 s) reaches no network.
  mosquitto_property *session = nullptr;
  mosquitto_property_add_int32(&session, MQTT_PROP_SESSION_EXPIRY_INTERVAL, UINT32_MAX);
  mosquitto_connect_bind_v5(mosq_, "localhost", 1, 1, nullptr, session);
  mosquitto_property_free_all(&session);

  // Small packets leave at once: with Nagle's algorithm a packet waits while
  // the one before is unacknowledged, and the broker acknowledges a QoS 0
  // publish only with the delayed TCP acknowledgement, up to 40 ms later.
  rc = mosquitto_int_option(mosq_, MOSQ_OPT_TCP_NODELAY, 1);
  if (rc != MOSQ_ERR_SUCCESS) return QStringLiteral("TCP_NODELAY: %1").arg(errorText(rc));
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
  } else if (settings_.tls) {
    rc = mosquitto_int_option(mosq_, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
    if (rc != MOSQ_ERR_SUCCESS) return QStringLiteral("TLS with the system's CAs: %1").arg(errorText(rc));
  }
  housekeeping_.start();
  attempt();
  return {};
}

void MqttClient::attempt() {
  if (stopping_) return;
  why_.clear();
  upSince_.invalidate();
  closedByBroker_ = false;
  const int rc = mosquitto_connect_async(mosq_, settings_.host.toUtf8().constData(), settings_.port,
                                         settings_.keepAliveSeconds);
  live_ = mosquitto_socket(mosq_) >= 0;
  if (rc == MOSQ_ERR_EAI) why_ = QStringLiteral("the host name \"%1\" does not resolve").arg(settings_.host);
  else if (rc != MOSQ_ERR_SUCCESS && why_.isEmpty()) why_ = errorText(rc);
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

void MqttClient::watchCertificateCheck() {
  // The check of the broker's certificate chain goes through verifyChain,
  // which learns why a certificate is refused. The library makes its TLS
  // context with a connection and may make a new one with the next (a freed
  // one's address may come back), so the check is set on the context of
  // every connection, after each call, before the broker's certificate can
  // arrive: setting it is one pointer.
  auto *tls = static_cast<SSL *>(mosquitto_ssl_get(mosq_));
  if (tls) SSL_CTX_set_cert_verify_callback(SSL_get_SSL_CTX(tls), &MqttClient::verifyChain, this);
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
  watchCertificateCheck();
  if (writer_) writer_->setEnabled(mosquitto_want_write(mosq_));
}

void MqttClient::lost() {
  connected_ = false;
  pending_.clear();
  if (fatal_) {
    QMetaObject::invokeMethod(this, [this, why = why_] { emit refused(why); }, Qt::QueuedConnection);
    return;
  }
  // A connection the broker accepted and then closed without a word, while it
  // still takes new ones at once: it went to another client with the same id
  // (a broker that stops or restarts takes none for a while). Mosquitto 2.0
  // says nothing when it hands a session to another client.
  if (upSince_.isValid() && closedByBroker_ && why_.isEmpty()) return probeBroker();
  retryLater(why_.isEmpty() ? QStringLiteral("the connection closed") : why_);
}

QString MqttClient::takenOverText() const {
  return QStringLiteral("another client took over client id `%1`").arg(settings_.clientId);
}

void MqttClient::probeBroker() {
  auto *probe = new QTcpSocket(this);
  auto *deadline = new QTimer(probe);
  const auto decide = [this, probe](bool reachable) {
    if (probe->property("decided").toBool()) return;
    probe->setProperty("decided", true);
    probe->abort();
    probe->deleteLater();
    if (stopping_) return;
    if (reachable) {
      ++takeovers_;
      takeoverToTell_ = true;
      why_ = takenOverText();
    }
    retryLater(reachable ? why_ : QStringLiteral("the connection closed"));
  };
  connect(probe, &QTcpSocket::connected, this, [decide] { decide(true); });
  connect(probe, &QTcpSocket::errorOccurred, this, [decide] { decide(false); });
  connect(deadline, &QTimer::timeout, this, [decide] { decide(false); });
  deadline->start(500);
  probe->connectToHost(settings_.host, quint16(settings_.port));
}

void MqttClient::retryLater(const QString &why) {
  // The pauses start again from the first after a connection that was up;
  // after a take-over they grow as if the broker were gone (no fight over the
  // id), unless that connection had been up for long.
  const bool wasUp = upSince_.isValid();
  if (wasUp && (why != takenOverText() || upSince_.elapsed() > 2 * settings_.longestRetryMs)) nextPauseMs_ = settings_.firstRetryMs;
  // A quarter more or less at random: bridges that lost the same broker at
  // the same moment do not all come back in the same millisecond.
  const int pauseMs = nextPauseMs_ * QRandomGenerator::global()->bounded(75, 126) / 100;
  retry_.start(pauseMs);
  nextPauseMs_ = std::min(2 * nextPauseMs_, settings_.longestRetryMs);
  QMetaObject::invokeMethod(this, [this, why, pauseMs] { emit connectionLost(why, pauseMs); }, Qt::QueuedConnection);
}

bool MqttClient::subscribe(const QStringList &topics) {
  if (!connected_) return false;
  bool ok = true;
  for (const QString &topic : topics) {
    int id = 0;  // one a subscription: the broker's answer names the topic
    ok = mosquitto_subscribe_v5(mosq_, &id, topic.toUtf8().constData(), 1, MQTT_SUB_OPT_RETAIN_AS_PUBLISHED, nullptr) ==
             MOSQ_ERR_SUCCESS &&
         ok;
    pending_.insert(id, topic);
  }
  afterCall();
  return ok;
}

int MqttClient::publish(const QString &topic, const QByteArray &payload, bool retain, int qos) {
  if (!connected_) return 0;
  int id = 0;
  const int rc = mosquitto_publish(mosq_, &id, topic.toUtf8().constData(), int(payload.size()), payload.constData(),
                                   qos, retain);
  if (qos > 0 && rc == MOSQ_ERR_SUCCESS) pending_.insert(id, topic);
  afterCall();
  return rc == MOSQ_ERR_SUCCESS ? id : 0;
}

int MqttClient::respond(const ResponseRoute &route, const QByteArray &payload) {
  if (!connected_) return 0;
  mosquitto_property *properties = nullptr;
  if (!route.correlationData.isEmpty()) {
    mosquitto_property_add_binary(&properties, MQTT_PROP_CORRELATION_DATA, route.correlationData.constData(),
                                  uint16_t(route.correlationData.size()));
  }
  int id = 0;
  const int rc = mosquitto_publish_v5(mosq_, &id, route.topic.toUtf8().constData(), int(payload.size()),
                                      payload.constData(), 0, false, properties);
  mosquitto_property_free_all(&properties);
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

void MqttClient::onConnect(mosquitto *, void *self, int code, int, const mosquitto_property *) {
  auto *client = static_cast<MqttClient *>(self);
  if (code != 0) {
    // The library closes the connection; afterCall() takes it from there.
    client->why_ = QStringLiteral("the broker refused the connection: %1").arg(reasonText(code));
    if (refusedForGood(code) && !client->settings_.username.isEmpty()) client->why_ += QStringLiteral(" (user \"%1\")").arg(client->settings_.username);
    client->fatal_ = refusedForGood(code);
    return;
  }
  client->connected_ = true;
  client->upSince_.start();
  QMetaObject::invokeMethod(client, &MqttClient::connected, Qt::QueuedConnection);
  if (std::exchange(client->takeoverToTell_, false)) {
    QMetaObject::invokeMethod(client, [client, n = client->takeovers_] { emit client->takenOver(n); }, Qt::QueuedConnection);
  }
}

void MqttClient::onDisconnect(mosquitto *, void *self, int code, const mosquitto_property *) {
  auto *client = static_cast<MqttClient *>(self);
  // A DISCONNECT from the broker gives its reason (0x80 and up); otherwise
  // the code is the library's.
  client->closedByBroker_ = client->connected_ && code == MOSQ_ERR_CONN_LOST;
  client->connected_ = false;
  if (code == MQTT_RC_SESSION_TAKEN_OVER) {
    ++client->takeovers_;
    client->takeoverToTell_ = true;
    client->why_ = client->takenOverText();
  } else if (code >= MQTT_RC_UNSPECIFIED && client->why_.isEmpty()) {
    client->why_ = QStringLiteral("the broker closed the connection: %1").arg(reasonText(code));
  } else if (code != 0 && code != MOSQ_ERR_CONN_LOST && client->why_.isEmpty()) {
    client->why_ = errorText(code);
  }
}

void MqttClient::onMessage(mosquitto *, void *self, const mosquitto_message *message,
                           const mosquitto_property *properties) {
  auto *client = static_cast<MqttClient *>(self);
  QString topic = QString::fromUtf8(message->topic);
  QByteArray payload(static_cast<const char *>(message->payload), message->payloadlen);
  const bool retained = message->retain;
  ResponseRoute route;
  char *responseTopic = nullptr;
  if (mosquitto_property_read_string(properties, MQTT_PROP_RESPONSE_TOPIC, &responseTopic, false)) {
    route.topic = QString::fromUtf8(responseTopic);
    std::free(responseTopic);
    void *data = nullptr;
    uint16_t length = 0;
    if (mosquitto_property_read_binary(properties, MQTT_PROP_CORRELATION_DATA, &data, &length, false)) {
      route.correlationData = QByteArray(static_cast<const char *>(data), length);
      std::free(data);
    }
  }
  QMetaObject::invokeMethod(
      client, [client, topic, payload, retained, route] { emit client->messageArrived(topic, payload, retained, route); },
      Qt::QueuedConnection);
}

void MqttClient::onPublish(mosquitto *, void *self, int messageId, int reason, const mosquitto_property *) {
  auto *client = static_cast<MqttClient *>(self);
  const QString topic = client->pending_.take(messageId);
  if (reason >= MQTT_RC_UNSPECIFIED) {
    QMetaObject::invokeMethod(client, [client, topic, why = reasonText(reason)] { emit client->publishDenied(topic, why); },
                              Qt::QueuedConnection);
  }
  QMetaObject::invokeMethod(client, [client, messageId] { emit client->published(messageId); }, Qt::QueuedConnection);
}

void MqttClient::onSubscribe(mosquitto *, void *self, int messageId, int count, const int *granted, const mosquitto_property *) {
  auto *client = static_cast<MqttClient *>(self);
  const QString topic = client->pending_.take(messageId);
  if (count >= 1 && granted[0] >= MQTT_RC_UNSPECIFIED) {
    QMetaObject::invokeMethod(client, [client, topic, why = reasonText(granted[0])] { emit client->subscriptionDenied(topic, why); },
                              Qt::QueuedConnection);
  }
}

int MqttClient::verifyChain(x509_store_ctx_st *store, void *self) {
  auto *client = static_cast<MqttClient *>(self);
  const int verified = X509_verify_cert(store);
  // The library's own check of the host name has told already (onLog).
  if (verified <= 0 && !client->why_.startsWith(u"TLS: "))
    client->why_ = certificateProblem(X509_STORE_CTX_get_error(store), client->settings_);
  return verified;
}

void MqttClient::onLog(mosquitto *, void *self, int level, const char *text) {
  // The library's own check of the certificate's host name tells only here.
  auto *client = static_cast<MqttClient *>(self);
  if (level == MOSQ_LOG_ERR && std::strstr(text, "host name verification failed"))
    client->why_ = certificateProblem(X509_V_ERR_HOSTNAME_MISMATCH, client->settings_);
}

}  // namespace vf
