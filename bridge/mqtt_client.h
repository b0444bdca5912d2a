#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QSocketNotifier>
#include <QString>
#include <QStringList>
#include <QTimer>

struct mosquitto;
struct mosquitto_message;
struct x509_store_ctx_st;
struct mqtt5__property;
typedef struct mqtt5__property mosquitto_property;

namespace vf {

struct BrokerSettings {
  QString host = QStringLiteral("localhost");
  int port = 1883;
  QString clientId;   // also names the broker's session for this client
  QString username;   // none when empty
  QByteArray password;
  QString caFile;     // TLS, checking the broker against this CA, when set
  bool tls = false;   // TLS also without caFile: checked against the system's CAs
  int keepAliveSeconds = 30;
  // Published by the broker, retained, QoS 1, when the connection ends
  // without a goodbye. None when the topic is empty.
  QString willTopic;
  QByteArray willPayload;
  // The pause before the first new try after a connection failed or dropped,
  // and the longest pause it grows to.
  int firstRetryMs = 1000;
  int longestRetryMs = 30000;
};

// Why a file given as the CA for TLS cannot be one (it cannot be read, or
// holds no certificate); empty when it holds at least one.
QString caFileProblem(const QString &path);

// One connection to an MQTT broker through libmosquitto, driven by the Qt
// event loop of the thread it lives in: the library's socket is watched by
// socket notifiers, its housekeeping (keep-alive pings, retries of QoS 1
// messages) runs once a second, and nothing blocks except the name lookup
// when a connection starts. Every signal is emitted from the event loop, never
// from inside the library, so a handler may call back into the client.
//
// MQTT 5. The session is kept by the broker (no clean start, no expiry): QoS 1
// messages sent to the client's subscriptions while it is away are delivered
// when it is back. A retained message arrives flagged retained also when it
// was published while the client listened. What the broker refuses is told
// with its reason: the connection (refused, when trying again cannot help), a
// subscription or a QoS 1 publish (denied), the session taken over by another
// client of the same id (the log's why, then takenOver once connected again).
// A connection that fails or drops is tried again after 1 s, then 2, 4, 8 and
// 16 s, then every 30 s (by default: BrokerSettings), until one is accepted;
// each pause a quarter longer or shorter at random.
// Where a request wants its answer: the response topic and the correlation
// data it came with (MQTT 5); an empty topic for a plain message.
struct ResponseRoute {
  QString topic;
  QByteArray correlationData;
};

class MqttClient : public QObject {
  Q_OBJECT
 public:
  explicit MqttClient(BrokerSettings settings, QObject *parent = nullptr);
  ~MqttClient() override;

  // Sets up the will, the credentials and TLS, and starts connecting. A
  // setting the library refuses (a CA file it cannot read) is returned, and
  // nothing starts.
  QString start();
  bool isConnected() const { return connected_; }

  QString clientId() const { return settings_.clientId; }
  // At QoS 1, retain as published; false when not connected.
  bool subscribe(const QStringList &topics);
  // The message id, or 0 when not connected (nothing is kept for later).
  // published() tells when the broker has a QoS 1 message.
  int publish(const QString &topic, const QByteArray &payload, bool retain, int qos);
  // An answer to a request, with the request's correlation data.
  int respond(const ResponseRoute &route, const QByteArray &payload);
  // Says goodbye (the broker then drops the will) and stops trying; stopped()
  // follows once the connection has closed.
  void stop();

 signals:
  void connected();
  // A connection ended or could not be made; the next try follows after
  // retryPauseMs.
  void connectionLost(const QString &why, int retryPauseMs);
  void messageArrived(const QString &topic, const QByteArray &payload, bool retained, const vf::ResponseRoute &route);
  void published(int messageId);  // the broker has acknowledged it
  void stopped();
  // The broker will not take this client as it is configured (user name,
  // password, authorisation, client id): no new try follows.
  void refused(const QString &why);
  void subscriptionDenied(const QString &topic, const QString &reason);
  void publishDenied(const QString &topic, const QString &reason);
  // Connected again after another client had taken over the session; count:
  // how often that has happened since the start.
  void takenOver(int count);

 private:
  static void onConnect(mosquitto *, void *self, int code, int flags, const mosquitto_property *);
  static void onDisconnect(mosquitto *, void *self, int code, const mosquitto_property *);
  static void onMessage(mosquitto *, void *self, const mosquitto_message *message, const mosquitto_property *properties);
  static void onPublish(mosquitto *, void *self, int messageId, int reason, const mosquitto_property *);
  static void onSubscribe(mosquitto *, void *self, int messageId, int count, const int *granted, const mosquitto_property *);
  static void onLog(mosquitto *, void *self, int level, const char *text);
  static int verifyChain(x509_store_ctx_st *store, void *self);

  void attempt();
  void watchSocket();
  void dropSocket();
  // After every call into the library: follows the socket it left and what
  // it wants to write.
  void afterCall();
  void lost();
  void probeBroker();
  void watchCertificateCheck();
  QString takenOverText() const;
  void retryLater(const QString &why);

  BrokerSettings settings_;
  mosquitto *mosq_ = nullptr;
  QPointer<QSocketNotifier> reader_;
  QPointer<QSocketNotifier> writer_;
  QTimer housekeeping_;
  QTimer retry_;
  int nextPauseMs_;
  bool live_ = false;       // a connection is being made or is up
  bool connected_ = false;  // the broker has accepted it
  bool stopping_ = false;
  QString why_;             // what the library last said about the connection
  QElapsedTimer upSince_;   // when the broker accepted the connection
  bool closedByBroker_ = false;  // the connection ended without a reason given
  bool fatal_ = false;      // the broker refused this client for good
  int takeovers_ = 0;
  bool takeoverToTell_ = false;
  QHash<int, QString> pending_;  // message id -> topic, of subscriptions and QoS 1 publishes
};

}  // namespace vf
