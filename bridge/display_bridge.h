#pragma once

#include "bridge/display_state.h"
#include "bridge/mqtt_client.h"
#include "link/port_options.h"
#include "session/display_session.h"

#include <QElapsedTimer>
#include <QJsonObject>
#include <QMap>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QThread>
#include <QTimer>

#include <optional>
#include <vector>

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
//   vf3360/NAME/check   taken: a text to judge without sending it, answered on
//                       the request's response topic (MQTT 5 request and response)
//
// A text goes to the line exactly as "変換 + 送信" sends it in the program:
// the display session builds and writes the message, sends the update
// commands, answers the cue reply and tries a lost device again, by the
// rules the window follows.
//
// One message is on the line at a time, and while it is on its way at most
// one text waits: the newest. A text it replaces is never sent (told in
// batches as "text-superseded"); a message on the line is never cut. Commands
// keep their order with the texts: a clear drops the text that waits, and one
// taken while a message is on the line follows it. An update command is
// written only while the line has taken what went before it; at most one
// waits (the session holds it). Nothing blocks: the end of a message is told
// by the session.
class DisplayBridge : public QObject {
  Q_OBJECT
 public:
  static constexpr int kReopenMs = 2000;          // a lost or missing device is tried again this often
  static constexpr qsizetype kMaxPayload = 64 * 1024;
  // The longest a stop waits for the line and the broker: the process ends
  // within 5 s of its signal.
  static constexpr int kStopDeadlineMs = 4500;
  static constexpr int kTellEveryMs = 100;        // superseded texts and a changed status, told at most this often

  explicit DisplayBridge(BridgeSettings settings, QObject *parent = nullptr);
  ~DisplayBridge() override;

  // Opens the port (or starts trying it every 2 s) and starts connecting to
  // the broker; a setting that cannot work comes back as the reason.
  QString start();
  // Publishes "offline", lets the message on the line finish (at most its
  // line time and a second; nothing that waits is sent), says goodbye to the
  // broker, then emits finished(). `signal` (SIGTERM, ...) is logged.
  void stop(int signal = 0);

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
  };
  // What waits for the line, or is on it.
  struct LineWork {
    enum class Kind { Text, Clear, Rewind } kind = Kind::Text;
    Text text;             // Text
    QString topic;         // where it came from
    QElapsedTimer since;   // when it arrived
    bool takeDown = false; // Clear: the text taken down; the update commands stop too
    QJsonObject event;     // Text on the line: its text-sent event
    QJsonObject shown;     // Text on the line: what the status tells once it is shown
  };

  void brokerConnected();
  void brokerLost(const QString &why, int retryPauseMs);
  // what: the words of the log line; code: the event's machine-readable reason.
  void denied(const QString &what, const QString &topic, const QString &reason, const QString &code);
  void messageArrived(const QString &topic, const QByteArray &payload, bool retained, const ResponseRoute &route);
  void answerCheck(const QByteArray &payload, bool retained, const ResponseRoute &route);
  void takeText(const QString &topic, const QString &text, bool retained);
  void takeSpeed(const QString &topic, const QString &payload);
  void takeCommand(const QString &topic, const QString &payload, bool retained);
  void takeDown(const QString &topic);
  void refuse(const QString &topic, const QString &reason, const QString &why);

  // The line's work, in order.
  void queue(LineWork work);
  void sendNext();
  void showText(LineWork work);
  void messageDone(bool allSent);
  void supersede(const QString &topic, const QString &reason);
  void tellSuperseded();
  void finishStop();
  void saveSoon();
  void saveState();

  void portTried(const PortOpenResult &opened);
  void deviceLost(QSerialPort::SerialPortError error);

  QJsonObject statusObject() const;
  void publishStatus(int qos = 0);
  void publishEvent(QJsonObject event, int qos = 0);
  void log(const QString &line) const;

  BridgeSettings settings_;
  DisplaySession session_;
  ModuleLink &link_;  // the session's
  MqttClient mqtt_;
  QTimer stopDeadline_;
  QTimer tellSuperseded_;
  QTimer statusLater_;
  QTimer saveLater_;
  // The state file is written on a thread of its own: its sync to the disk
  // (tens of milliseconds on an SD card) never holds up the event loop.
  QThread saver_;
  QObject saverContext_;
  int speed_ = 1;
  // Kept across restarts: the newest thing given, the speed, and what was
  // retained on each text topic (a retained text is news only if it differs).
  DisplayState state_;
  QString statePath_;
  bool saveFailed_ = false;
  QString deviceError_;            // why the port is not open; empty while it is
  // The text the module should show: the last one taken (none after a
  // clear). Shown when taken while the port is open, and again whenever the
  // port opens (a device back, one that was missing, the bridge started).
  std::optional<Text> wanted_;
  QString wantedTopic_;
  bool blankWanted_ = false;       // the last thing given was a clear, or a text taken down
  QJsonObject shown_;  // what the module shows: the text, its frames and unusable characters
  std::optional<LineWork> onLine_;  // the message whose last byte has not left yet
  std::vector<LineWork> waiting_;   // a text or a clear, then perhaps a rewind
  struct Superseded {
    int count = 0;
    QStringList topics;
  };
  QMap<QString, Superseded> superseded_;  // by reason, not told yet
  QString connectedAt_;
  QString stateSince_;  // when the display went online, or lost its device
  bool onlineSince_ = false;
  bool stopping_ = false;
  bool lineDone_ = false;
  bool brokerDone_ = false;
  bool finished_ = false;
  int offlineMessage_ = 0;
  QStringList textTopicsDenied_;
};

}  // namespace vf
