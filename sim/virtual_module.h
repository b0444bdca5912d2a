#pragma once

#include "protocol/module_decoder.h"
#include "protocol/port_code.h"
#include "sim/pseudo_terminal.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>

class QSocketNotifier;

namespace vf {

// The module's end of a pseudo-terminal. The program opens devicePath() as
// its serial port; everything it writes is read through the line decoder and
// reported by decoded(). The module answers only with its cue reply, in the
// form of the kind of connection it pretends to be attached by.
class VirtualModule : public QObject {
  Q_OBJECT
 public:
  // After this long without a byte the line counts as quiet: what the decoder
  // still holds is judged as it stands.
  static constexpr int kQuietMs = 1000;

  explicit VirtualModule(QObject *parent = nullptr);
  ~VirtualModule() override;

  bool open(QString *error);
  QString devicePath() const { return line_.path(); }

  void setConnectionKind(ConnectionKind kind) { kind_ = kind; }
  // Sends the cue reply this long after each complete message; < 0: never.
  void setCueAfter(int ms) { cueAfterMs_ = ms; }

  // Sends the cue reply at once. False when the line does not take it.
  bool sendCueReply();

 signals:
  void decoded(const vf::ModuleEvent &event);
  void cueReplySent(const QByteArray &bytes);
  void cueReplyFailed(const QString &why);

 private:
  void readLine();
  void lineQuiet();
  void report(const std::vector<ModuleEvent> &events);

  PseudoTerminal line_;
  std::unique_ptr<QSocketNotifier> notifier_;
  QTimer quiet_;
  QTimer resume_;
  ModuleDecoder decoder_;
  ConnectionKind kind_ = ConnectionKind::Rs232c;
  int cueAfterMs_ = -1;
};

}  // namespace vf
