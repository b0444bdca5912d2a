#pragma once

#include "link/module_decoder.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

class QSocketNotifier;

namespace vf {

// The two forms of the module's cue reply: on RS-232C the reply's bytes 3 and
// 4 are C0 00, through a USB-serial converter its first byte is C0.
enum class CueReplyKind { Rs232c, Usb };
QByteArray cueReply(CueReplyKind kind);

// The module's end of a pseudo-terminal. The program opens devicePath() as
// its serial port; everything it writes is read through the line decoder and
// reported by decoded(). The module answers only with its cue reply.
//
// A handle on the device side stays open for the module's whole life, so the
// line stays up while the program closes and reopens its port.
class VirtualModule : public QObject {
  Q_OBJECT
 public:
  // After this long without a byte the line counts as quiet: what the decoder
  // still holds is judged as it stands.
  static constexpr int kQuietMs = 1000;

  explicit VirtualModule(QObject *parent = nullptr);
  ~VirtualModule() override;

  bool open(QString *error);
  QString devicePath() const { return path_; }

  void setCueReplyKind(CueReplyKind kind) { kind_ = kind; }
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

  int master_ = -1;
  int device_ = -1;
  QString path_;
  QSocketNotifier *notifier_ = nullptr;
  QTimer quiet_;
  QTimer resume_;
  ModuleDecoder decoder_;
  CueReplyKind kind_ = CueReplyKind::Rs232c;
  int cueAfterMs_ = -1;
};

}  // namespace vf
