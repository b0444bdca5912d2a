#pragma once

#include "bridge/mqtt_client.h"
#include "link/module_link.h"
#include "link/port_options.h"

#include <QElapsedTimer>
#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <optional>

namespace vf {

struct BuiltMessage;

struct BridgeSettings {
  QString name;         // the display's name in its topics
  QStringList groups;   // groups it belongs to
  ModulePort port;
  BrokerSettings broker;
};

// One module on one serial line, driven through an MQTT broker.
//
// Topics, for NAME and for each group G:
//   vf3360/NAME/{text,speed,command}, vf3360/group/G/{text,speed,command}  taken, QoS 1
//   vf3360/NAME/status  published, retained: the state as a JSON object
//   vf3360/NAME/event   published, not retained: one JSON object a happening
//
// A text goes to the line exactly as "変換 + 送信" sends it in the program:
// the same message, then the update command every 20 ms. Auto update and the
// module's replies are handled as the program's window handles them
// (Form1::Command1_Click, Timer1_Timer, ApplyAutoUpdate, MSComm1_OnComm).
//
// The link is used through open, sendMessage, sendCommand, whenSent,
// waitUntilSent (when the bridge stops), close, isOpen and its events only;
// it owns the line's rules (a lost device closed, the modem lines read).
class DisplayBridge : public QObject {
  Q_OBJECT
 public:
  static constexpr int kTickMs = 20;              // the program's Timer1
  static constexpr int kReopenMs = 2000;          // a lost or missing device is tried again this often
  static constexpr qsizetype kMaxPayload = 64 * 1024;
  static constexpr int kStopDeadlineMs = 5000;    // the longest a stop waits for the broker

  explicit DisplayBridge(BridgeSettings settings, QObject *parent = nullptr);

  // Opens the port (or starts trying it every 2 s) and starts connecting to
  // the broker; a setting that cannot work comes back as the reason.
  QString start();
  // Publishes "offline", waits for the last byte on the line, says goodbye to
  // the broker, then emits finished().
  void stop();

  QString topic(const QString &leaf) const { return QStringLiteral("vf3360/%1/%2").arg(settings_.name, leaf); }

 signals:
  void finished();
  // The broker refuses this display's user, password or client id, or lets
  // it subscribe to none of its text topics: starting again cannot help.
  void refused();

 private:
  struct Text {
    QString text;
    int speed = 1;
    bool operator==(const Text &) const = default;
  };

  void brokerConnected();
  void brokerLost(const QString &why, int retryPauseMs);
  void denied(const QString &what, const QString &topic, const QString &reason);
  void messageArrived(const QString &topic, const QByteArray &payload, bool retained);
  void takeText(const QString &topic, const QString &text, bool retained);
  void takeSpeed(const QString &topic, const QString &payload);
  void takeCommand(const QString &topic, const QString &payload, bool retained);
  void showText(const Text &text, const BuiltMessage &message, const QElapsedTimer &since);
  void refuse(const QString &topic, const QString &why);

  void openPort();
  void linkEvent(const vf::LinkEvent &event);
  void tick();
  void applyAutoUpdate();
  void enableTick();

  QJsonObject statusObject() const;
  void publishStatus(int qos = 0);
  void publishEvent(QJsonObject event, int qos = 0);
  void log(const QString &line) const;

  BridgeSettings settings_;
  ModuleLink link_;
  MqttClient mqtt_;
  QTimer tick_;
  QTimer reopen_;
  QTimer stopDeadline_;
  int speed_ = 1;
  bool autoUpdate_ = false;
  QString deviceError_;            // why the port is not open; empty while it is
  // The text the module should show: the last one taken (none after a
  // clear). Shown when taken while the port is open, and again whenever the
  // port opens after it was not (a device back, or one that was missing at
  // the start).
  std::optional<Text> wanted_;
  QJsonObject shown_;  // what went to the line last: the text, its frames and unusable characters
  QString connectedAt_;
  bool stopping_ = false;
  int offlineMessage_ = 0;
  QStringList textTopicsDenied_;
};

}  // namespace vf
