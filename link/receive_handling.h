#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QSerialPort>
#include <QString>
#include <QTimer>

#include <functional>
#include <optional>

namespace vf {

// What one receive event asks of the window.
struct ReceiveVerdict {
  std::optional<QString> text2;  // the new Text2; nullopt leaves Text2 as it is
  bool sendDataCue = false;      // answer with the data cue command
};

// Judges the bytes of one receive event by the kind of connection.
// RS-232C: bytes 3 and 4 as code page 932 text up to the first NUL become
// Text2 (empty with fewer than four bytes); the cue reply is Text2 reading
// exactly "ﾀ". USB変換: the cue reply is a first byte 0xC0; Text2 stays.
ReceiveVerdict judgeReceivedBytes(const QByteArray &bytes, int portKind);

// One event of the serial port as the window handles it.
struct PortEvent {
  enum class Kind {
    Receive,  // a burst of received bytes
    Other,    // anything else the port reports (errors)
  };
  Kind kind = Kind::Receive;
  QByteArray bytes;     // Receive: the first bytes of the burst (at most kKeptBytes)
  qint64 byteCount = 0; // Receive: how many bytes the burst had in all
  QSerialPort::SerialPortError error = QSerialPort::NoError;  // Other
  // Other: the device has gone away (a converter pulled out, the line hung
  // up). The port is of no further use and should be closed.
  bool deviceGone = false;
};

// Gathers what a serial port receives into bursts and hands each burst to the
// handler as one receive event.
//
// A real port delivers a short reply in pieces: at 19200 baud a character
// takes 0.52 ms, the module's four-byte reply 2.1 ms, and the first byte may
// be read before the others have arrived. A burst therefore ends only when the
// line has been quiet for kQuietMs = 5 ms, about ten character times. That is
// well above the gaps inside one reply (a UART's receive FIFO hands over its
// bytes after a timeout of four character times, 2 ms) plus a little
// scheduling delay, and well below the 20 ms between the update commands of
// auto update, so replies to separate commands stay separate events. A
// converter that holds bytes back for a latency timer can still cut a reply in
// two; in USB変換 mode that loses nothing, because the first byte decides and
// it is always in the first piece.
//
// A stream that never pauses still gives an event at least every
// kMaxBurstMs. Only the first kKeptBytes bytes of a burst are kept (the judge
// looks at four); the rest are counted and dropped, so any amount of input
// takes bounded memory. Events are handed over from a timer, never from inside
// the port's readyRead signal, so a handler may open a message box while bytes
// keep arriving.
//
// Errors of the port become PortEvent::Kind::Other events, after the burst
// that came before them. A device that has gone away is reported once, as
// deviceGone: on Linux a hung-up line shows as a read error that repeats for
// as long as the port stays open, so a read error on a line that polls as
// hung up counts as gone too, and nothing more is reported until the port is
// closed. Closing the port drops a burst not yet handed over.
class ReceiveBurstGatherer : public QObject {
  Q_OBJECT
 public:
  static constexpr int kQuietMs = 5;
  static constexpr int kMaxBurstMs = 50;
  static constexpr int kKeptBytes = 16;

  struct Timing {
    int quietMs = kQuietMs;
    int maxBurstMs = kMaxBurstMs;
  };
  using Handler = std::function<void(const PortEvent &)>;

  ReceiveBurstGatherer(QSerialPort &port, Handler handler, QObject *parent = nullptr);
  ReceiveBurstGatherer(QSerialPort &port, Handler handler, Timing timing, QObject *parent = nullptr);

  // Bytes of the burst being gathered, not yet handed over.
  qint64 pendingByteCount() const { return count_; }

 private:
  void takeArrivedBytes();
  void handOverBurst();
  void takeError(QSerialPort::SerialPortError error);
  void dropBurst();
  bool lineHungUp() const;

  QSerialPort &port_;
  Handler handler_;
  Timing timing_;
  QTimer handOver_;
  QElapsedTimer burstClock_;
  QByteArray head_;
  qint64 count_ = 0;
  bool gone_ = false;  // deviceGone has been reported since the port was opened
};

}  // namespace vf
