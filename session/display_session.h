#pragma once

#include "encoder/message_builder.h"
#include "link/module_link.h"

#include <QObject>
#include <QString>
#include <QTimer>

namespace vf {

struct SessionOptions {
  // Updates wait for the line (at most one), and the link is paced.
  bool holdUpdatesForLine = false;
  // A port that does not open, or whose device has gone, is tried again
  // this often; 0: never (the operator opens it again).
  int reopenMs = 0;
};

// One module driven over its serial line, as the window and the bridge both
// drive it:
//
// - A message is built, written in one go, and followed to its last byte;
//   then the update command goes out every 20 ms, each tick counted from the
//   start of the one before, until the ticks are stopped.
// - Auto update is a switch: applying it starts the ticks when it is on and
//   stops them when it is off; switching it off stops them at once.
// - Whatever the port reports (a reply, a modem line, an error) stops the
//   ticks unless auto update is on. A cue reply is answered with the data cue
//   command. A device that has gone away stops the ticks; with a reopening
//   pause set, its port is tried again at that pause until it opens.
// - Held (the bridge): an update command is written only once the line has
//   taken what went before it, and at most one waits; the link is paced, so
//   a device that takes bytes faster than the line does not hide a backlog.
//
// What happens is told by the signals; nothing here shows or publishes it.
class DisplaySession : public QObject {
  Q_OBJECT
 public:
  static constexpr int kTickMs = 20;

  using Options = SessionOptions;

  explicit DisplaySession(ModuleLink::DeviceNamer namer, Options options = {}, QObject *parent = nullptr);

  // The line itself: opening, closing, commands, what is on its way.
  ModuleLink &link() { return link_; }
  const ModuleLink &link() const { return link_; }

  // Opens the port. With a reopening pause, a failure is tried again at that
  // pause (each try told by opened()) until it opens or the session ends.
  PortOpenResult open(int portNum, ConnectionKind kind);

  // Auto update: the switch, and applying it.
  void setAutoUpdate(bool on);
  bool autoUpdate() const { return autoUpdate_; }
  void applyAutoUpdate();
  // The ticks stop (a port change, the end, a text taken down); an update
  // that waited for the line is dropped.
  void stopUpdates();
  bool updating() const { return tick_.isActive(); }

  // Convert-and-send, in two steps so that a window can show the run between
  // them: prepare applies auto update and builds the message; send writes a
  // built message in one go and starts the ticks (also when the port did not
  // take it). Returns why the port did not take it, if it did not.
  BuiltMessage prepare(QStringView text, int speedOption);
  std::optional<WriteFailure> send(const BuiltMessage &message);
  // A message written by send whose last byte has not left yet.
  bool messageOnLine() const { return messageOnLine_; }

  // Nothing more is started: no ticks, no answers, no reopening. What is on
  // its way still goes (see ModuleLink::closeWhenSent).
  void end();

 signals:
  // The module said something the window shows in its reply field.
  void replyShown(const QString &text);
  // A cue reply was answered with the data cue command.
  void cueAnswered();
  // The device has gone away; the link has closed its port.
  void deviceLost(QSerialPort::SerialPortError error);
  // A try of the reopening pause; result.open when the port is open again.
  void opened(const vf::PortOpenResult &result);
  // The last byte of the message written by send has left (or the port
  // closed first: then allSent is false).
  void messageDone(bool allSent);
  // Held: the line has taken nothing for its line time and a second; told
  // once until it takes something.
  void lineStuck();

 private:
  void tick();
  void startTicks();
  void linkEvent(const LinkEvent &event);
  void awaitLine();
  void lineFree();
  void reopen();

  Options options_;
  ModuleLink link_;
  QTimer tick_;
  QTimer reopen_;
  int portNum_ = 0;
  ConnectionKind kind_ = ConnectionKind::Rs232c;
  bool autoUpdate_ = false;
  bool messageOnLine_ = false;
  bool updateWaiting_ = false;
  bool awaitingLine_ = false;
  bool stuck_ = false;
  bool ended_ = false;
};

}  // namespace vf
