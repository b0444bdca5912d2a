#pragma once

#include "link/device_access.h"
#include "protocol/control_command.h"
#include "protocol/port_code.h"
#include "protocol/reply.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QObject>
#include <QSerialPort>
#include <QString>
#include <QTimer>

#include <functional>
#include <optional>
#include <vector>

namespace vf {

// One event of the serial port as the window handles it.
struct LinkEvent {
  enum class Kind {
    Reply,        // a burst of received bytes, judged
    ModemLines,   // the modem-control lines changed
    Error,        // anything else the port reports
  };
  Kind kind = Kind::Reply;
  ReplyVerdict verdict;  // Reply
  qint64 byteCount = 0;  // Reply: how many bytes the burst had
  QSerialPort::SerialPortError error = QSerialPort::NoError;  // Error
  // Error: the device has gone away (a converter pulled out, the line hung
  // up); the link has closed the port.
  bool deviceGone = false;
};

struct PortOpenResult {
  // Why the port did not open.
  enum class Failure {
    None,          // it is open
    NoPortNumber,  // no port number 1 .. 16 names a device
    Refused,       // the device did not open: systemError says why
  };
  bool open = false;  // read back from the port
  QString device;     // the device that was tried
  Failure failure = Failure::None;
  QString systemError;            // Refused: the port's own words
  bool permissionDenied = false;  // Refused: the user may not open the device
  DeviceFile file;                // Refused: the device's file as it was then
};

// Whether joining the group dialout (and logging in again) is the remedy
// for a port that did not open: the user may not open the device, and its
// file lets the group dialout read and write it.
bool dialoutRemedyApplies(const PortOpenResult &result);

// Why the last write did not go out.
struct WriteFailure {
  enum class Kind {
    NotOpen,  // no port is open
    Refused,  // the port did not take the bytes: systemError says why
    Stalled,  // the line did not take them in their line time and a second: bytesLeft
  };
  Kind kind = Kind::NotOpen;
  QString systemError;
  qint64 bytesLeft = 0;
};

// The serial line to the module: the one serial port port_, its opening
// sequence, every write, and what comes back, judged.
//
// Received bytes are gathered into bursts. A real port delivers a short reply
// in pieces: at 19200 baud a character takes 0.52 ms, the module's four-byte
// reply 2.1 ms, and the first byte may be read before the others have
// arrived. A burst therefore ends only when the line has been quiet for
// kQuietMs = 5 ms, about ten character times: well above the gaps inside one
// reply (a UART hands over its FIFO after four character times) plus a little
// scheduling delay, and well below the 20 ms between update commands, so
// replies to separate commands stay separate. A stream that never pauses
// still gives an event every kMaxBurstMs. Only the first kKeptBytes bytes of
// a burst are kept (the judge looks at four), so any amount of input takes
// bounded memory.
//
// Every event is emitted from the event loop, never from inside a write or
// the port's own signals: a handler may open a message box, and a device lost
// during a message is reported after the message's last write. A device that
// has gone away is reported once: on Linux a hung-up line shows as a read
// error that repeats for as long as the port stays open, so a read error on a
// line that polls as hung up counts as gone too.
class ModuleLink : public QObject {
  Q_OBJECT
 public:
  static constexpr int kQuietMs = 5;
  static constexpr int kMaxBurstMs = 50;
  static constexpr int kKeptBytes = 16;

  // The device opened for a port number and kind; by default the device the
  // number names (/dev/ttyS2 for RS-232C port 3, ...).
  using DeviceNamer = std::function<QString(int portNum, ConnectionKind kind)>;

  explicit ModuleLink(DeviceNamer namer = {}, QObject *parent = nullptr);
  ~ModuleLink() override;

  // How long the line must be quiet to end a burst, and how long a burst may
  // last; kQuietMs and kMaxBurstMs unless set.
  void setBurstTiming(int quietMs, int maxBurstMs);

  // The opening sequence: closes the port if open, names the device, sets
  // 19200 baud, no parity, 8 data bits, 1 stop bit, no flow control, opens it
  // for reading and writing and switches RTS off (a device without modem
  // lines, such as a pseudo-terminal, is open all the same). Replies are
  // judged by `kind` from then on.
  PortOpenResult open(int portNum, ConnectionKind kind);
  // Closes the port at once; what is still on its way is lost.
  void close();
  // Closes the port once the last byte written has left the computer (see
  // whenSent), then calls `then`.
  void closeWhenSent(std::function<void()> then = {});
  bool isOpen() const { return port_.isOpen(); }
  // The device that is open; empty when none is.
  QString openDevice() const { return port_.isOpen() ? device_ : QString(); }

  // The only place that writes to the serial port: one write of the whole
  // byte sequence. Writes nothing and returns false when the port is not
  // open or does not take the bytes; writeFailure() then says why.
  bool write(const QByteArray &bytes);
  // The seven-byte control command for code and parameter, as one write.
  bool sendCommand(CommandCode code, std::uint8_t parameter = 0x00);
  // Every write of a message in order, in one go; stops at the first write
  // the port does not take.
  bool sendMessage(const std::vector<QByteArray> &writes);
  // Why the last failed write did not go out.
  const WriteFailure &writeFailure() const { return failure_; }

  // Bytes written that have not left the computer yet: those in the port's
  // own buffer and those in the driver's output queue. A 16-frame message is
  // 4,206 bytes, 2.19 s of line time at 19200 baud.
  qint64 bytesPending() const;
  // How long the line needs for that many bytes at 19200 baud, 8N1 (ten bits
  // a byte), rounded up to whole milliseconds.
  static qint64 lineTimeMs(qint64 bytes) { return (bytes * 1000 + 1919) / 1920; }
  // Calls `then` once every byte written has left the computer: at once when
  // nothing is pending, else from the event loop as soon as the port's buffer
  // and the driver's queue are empty, or when the line time of what is
  // pending plus kDrainSlackMs has passed (a line that takes nothing). Closing
  // the port before that would lose the end of a message: the port's buffer
  // is thrown away, and the line settings go back to the device's old ones
  // while the driver still sends.
  void whenSent(std::function<void()> then);
  // A device may take bytes faster than the line sends them: a pseudo-terminal
  // takes some 20 kB at once, a USB converter keeps a few hundred in its chip,
  // and neither counts them as pending. Paced, the link also counts a byte as
  // on its way until the line time of everything written before it has passed
  // (whenSent waits for that too), as a real line at 19200 baud would take it.
  // Off unless set.
  void setPaced(bool paced) { paced_ = paced; }
  // Bytes pending, or (paced) the line still busy with what was written.
  bool lineBusy() const;
  // The same for a program without an event loop of its own (vf3360-send):
  // waits, and says why not when the line took too long.
  std::optional<WriteFailure> waitUntilSent();
  static constexpr int kDrainSlackMs = 1000;

  // Bytes on their way: how many of those written since the line was last
  // idle have left the computer, of how many. Reported while a write drains,
  // then once with gone == total.
  struct SendProgress {
    qint64 gone = 0;
    qint64 total = 0;
  };

  // The modem-control lines are read every kModemPollMs while the port is
  // open; a change since the last reading is an event. A port without modem
  // lines gives nothing. noteModemLines takes a reading as if it came from
  // the port.
  static constexpr int kModemPollMs = 20;
  void noteModemLines(QSerialPort::PinoutSignals lines);

 signals:
  void event(const vf::LinkEvent &event);
  void sending(vf::ModuleLink::SendProgress progress);

 private:
  void takeArrivedBytes();
  void handOverBurst();
  void takeError(QSerialPort::SerialPortError error);
  void checkModemLines();
  void dropBurst();
  bool lineHungUp() const;
  void post(const LinkEvent &event);
  void checkDrain();
  qint64 driverQueue() const;

  QSerialPort port_;
  DeviceNamer namer_;
  QString device_;
  WriteFailure failure_;
  ConnectionKind kind_ = ConnectionKind::Rs232c;
  int quietMs_ = kQuietMs;
  int maxBurstMs_ = kMaxBurstMs;
  QTimer handOver_;
  QElapsedTimer burstClock_;
  QByteArray head_;
  qint64 count_ = 0;
  bool gone_ = false;  // the device's going has been reported since the port was opened
  int opening_ = 0;    // counts the opens and closes: an event of an earlier opening is dropped
  std::optional<QSerialPort::PinoutSignals> modemLines_;
  // Draining: what has been written since the line was idle, who waits for
  // the end, and until when at most.
  QTimer drainPoll_;
  QTimer modemPoll_;
  qint64 sentTotal_ = 0;
  std::vector<std::function<void()>> whenSent_;
  QDeadlineTimer drainDeadline_;
  bool paced_ = false;
  QElapsedTimer clock_;
  qint64 lineFreeAtNs_ = 0;  // on clock_: when the line will have sent the last byte written
  qint64 pacedRemainingMs() const;
};

}  // namespace vf
