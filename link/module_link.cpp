#include "link/module_link.h"

#include <QFileInfo>
#include <QSignalBlocker>
#include <QThread>

#include <algorithm>

#include <utility>

#ifdef Q_OS_UNIX
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>

#include <cerrno>
#include <cstring>
#endif
#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace vf {

QString openFailureDetail(const PortOpenResult &result) {
  QString detail = result.device.isEmpty() ? result.reason : result.device + QStringLiteral(": ") + result.reason;
  if (result.permissionDenied) {
    // The command on a line of its own, so that no line break falls inside it.
    const QString user = qEnvironmentVariable("USER", QStringLiteral("$USER"));
    detail += QStringLiteral("\nシリアルポートを使うには、dialout グループに入ってからログインし直してください:\n"
                             "sudo usermod -aG dialout %1")
                  .arg(user);
  }
  return detail;
}

ModuleLink::ModuleLink(DeviceNamer namer, QObject *parent) : QObject(parent), MSComm1(this), namer_(std::move(namer)) {
  MSComm1.setObjectName(QStringLiteral("MSComm1"));
  handOver_.setSingleShot(true);
  handOver_.setTimerType(Qt::PreciseTimer);
  connect(&handOver_, &QTimer::timeout, this, &ModuleLink::handOverBurst);
  connect(&MSComm1, &QSerialPort::readyRead, this, &ModuleLink::takeArrivedBytes);
  connect(&MSComm1, &QSerialPort::errorOccurred, this, &ModuleLink::takeError);
  connect(&MSComm1, &QIODevice::aboutToClose, this, &ModuleLink::dropBurst);
  // A few times a second is enough for the operator; a waiter learns of the
  // end within one poll.
  drainPoll_.setInterval(20);
  connect(&drainPoll_, &QTimer::timeout, this, &ModuleLink::checkDrain);
}

ModuleLink::~ModuleLink() {
  // The port goes last of the members: nothing it says on closing may reach them.
  disconnect(&MSComm1, nullptr, this, nullptr);
  close();
}

void ModuleLink::setBurstTiming(int quietMs, int maxBurstMs) {
  quietMs_ = quietMs;
  maxBurstMs_ = maxBurstMs;
}

PortOpenResult ModuleLink::open(int portNum, ConnectionKind kind) {
  // Closing is announced as usual (a burst not yet handed over is dropped);
  // the signals are held back only while the port is being set up.
  close();
  const QSignalBlocker quiet(MSComm1);
  ++opening_;
  kind_ = kind;
  modemLines_.reset();

  PortOpenResult result;
  result.device = namer_ ? namer_(portNum, kind) : deviceNameFor(portNum, kind);
  if (result.device.isEmpty()) {
    result.reason = QStringLiteral("ポート番号（1 … 16）が選ばれていません");
    return result;
  }
  MSComm1.setPortName(result.device);
  device_ = result.device;
  MSComm1.setBaudRate(QSerialPort::Baud19200);
  MSComm1.setParity(QSerialPort::NoParity);
  MSComm1.setDataBits(QSerialPort::Data8);
  MSComm1.setStopBits(QSerialPort::OneStop);
  MSComm1.setFlowControl(QSerialPort::NoFlowControl);

  if (!MSComm1.open(QIODevice::ReadWrite)) {
    result.reason = MSComm1.errorString();
    result.permissionDenied = MSComm1.error() == QSerialPort::PermissionError;
    MSComm1.clearError();
    return result;
  }
  // RTS off. Devices without modem lines refuse this; the port is open all the same.
  if (!MSComm1.setRequestToSend(false)) MSComm1.clearError();
  result.open = MSComm1.isOpen();
  if (!result.open) result.reason = MSComm1.errorString();
  return result;
}

void ModuleLink::close() {
  if (MSComm1.isOpen()) MSComm1.close();
}

bool ModuleLink::WriteToPort(const QByteArray &bytes) {
  if (!MSComm1.isOpen() || !MSComm1.isWritable()) {
    failure_ = QStringLiteral("ポートが開いていません");
    return false;
  }
  if (MSComm1.write(bytes) != bytes.size()) {
    failure_ = QStringLiteral("シリアルポートへの書き込みに失敗しました（%1）").arg(MSComm1.errorString());
    return false;
  }
  // Start the bytes on their way now; whatever the line does not take at once
  // follows from the port's buffer, in order, before anything written later.
  MSComm1.flush();
  sentTotal_ += bytes.size();
  if (!drainPoll_.isActive()) drainPoll_.start();
  return true;
}

qint64 ModuleLink::driverQueue() const {
  if (!MSComm1.isOpen()) return 0;
#if defined(Q_OS_UNIX)
  int queued = 0;
  if (::ioctl(static_cast<int>(MSComm1.handle()), TIOCOUTQ, &queued) == 0) return queued;
#elif defined(Q_OS_WIN)
  COMSTAT status{};
  DWORD errors = 0;
  if (::ClearCommError(reinterpret_cast<HANDLE>(MSComm1.handle()), &errors, &status)) return status.cbOutQue;
#endif
  return 0;
}

qint64 ModuleLink::bytesPending() const {
  return MSComm1.isOpen() ? MSComm1.bytesToWrite() + driverQueue() : 0;
}

void ModuleLink::whenSent(std::function<void()> then) {
  const qint64 pending = bytesPending();
  if (pending == 0) {
    then();
    return;
  }
  if (whenSent_.empty()) drainDeadline_.setRemainingTime(lineTimeMs(pending) + kDrainSlackMs);
  whenSent_.push_back(std::move(then));
  if (!drainPoll_.isActive()) drainPoll_.start();
}

void ModuleLink::checkDrain() {
  // Whatever the driver could not take at the last try goes on now.
  if (MSComm1.isOpen() && MSComm1.bytesToWrite() > 0) MSComm1.flush();
  const qint64 pending = bytesPending();
  emit sending({sentTotal_ - std::min(pending, sentTotal_), sentTotal_});
  if (pending > 0 && !(!whenSent_.empty() && drainDeadline_.hasExpired())) return;
  drainPoll_.stop();
  sentTotal_ = 0;
  // A waiter may write again or close the port: take the list first.
  for (const auto &then : std::exchange(whenSent_, {})) then();
}

bool ModuleLink::SendControlCommand(CommandCode code, std::uint8_t parameter) {
  return WriteToPort(controlCommand(code, parameter));
}

bool ModuleLink::SendMessage(const std::vector<QByteArray> &writes) {
  // No event is handled between the writes, so nothing else (an update
  // command, the answer to a reply) comes between the start command and the
  // last packet.
  for (const QByteArray &bytes : writes) {
    if (!WriteToPort(bytes)) return false;
  }
  return true;
}

QString ModuleLink::waitUntilSent() {
  const QDeadlineTimer deadline(lineTimeMs(bytesPending()) + kDrainSlackMs);
  // The port's buffer goes to the driver as the driver takes it, then the
  // driver's queue goes out on the line.
  while (MSComm1.bytesToWrite() > 0 && !deadline.hasExpired()) {
    if (!MSComm1.waitForBytesWritten(static_cast<int>(std::max<qint64>(1, deadline.remainingTime()))) &&
        MSComm1.error() != QSerialPort::NoError && MSComm1.error() != QSerialPort::TimeoutError) {
      return MSComm1.errorString();
    }
  }
  while (driverQueue() > 0 && !deadline.hasExpired()) QThread::msleep(5);
  if (bytesPending() > 0) {
    return QStringLiteral("the line took only part of the message in %1 ms").arg(lineTimeMs(sentTotal_) + kDrainSlackMs);
  }
  return {};
}

void ModuleLink::checkModemLines() {
  if (!MSComm1.isOpen()) return;
  QSerialPort::PinoutSignals lines;
  {
    // A device without modem lines answers with an error; it is no event.
    const QSignalBlocker quiet(MSComm1);
    lines = MSComm1.pinoutSignals();
    if (MSComm1.error() != QSerialPort::NoError) {
      MSComm1.clearError();
      return;
    }
  }
  noteModemLines(lines);
}

void ModuleLink::noteModemLines(QSerialPort::PinoutSignals lines) {
  const bool changed = modemLines_ && *modemLines_ != lines;
  modemLines_ = lines;
  if (!changed) return;
  LinkEvent event;
  event.kind = LinkEvent::Kind::ModemLines;
  post(event);
}

void ModuleLink::post(const LinkEvent &event) {
  QMetaObject::invokeMethod(
      this,
      [this, event, opening = opening_] {
        if (opening == opening_) emit this->event(event);
      },
      Qt::QueuedConnection);
}

void ModuleLink::takeArrivedBytes() {
  const QByteArray arrived = MSComm1.readAll();
  if (arrived.isEmpty()) return;
  if (count_ == 0) burstClock_.start();
  if (head_.size() < kKeptBytes) head_.append(arrived.left(kKeptBytes - head_.size()));
  count_ += arrived.size();
  // A burst that has gone on too long is handed over at once, quiet or not.
  handOver_.start(burstClock_.elapsed() >= maxBurstMs_ ? 0 : quietMs_);
}

void ModuleLink::handOverBurst() {
  handOver_.stop();
  if (count_ == 0) return;
  LinkEvent event;
  event.kind = LinkEvent::Kind::Reply;
  event.verdict = judgeReply(head_, kind_);
  event.byteCount = std::exchange(count_, 0);
  head_.clear();
  post(event);
}

void ModuleLink::takeError(QSerialPort::SerialPortError error) {
  if (error == QSerialPort::NoError || gone_) return;
  const bool hungUp = lineHungUp();
  // A line that takes no more bytes for the moment (its driver's queue is
  // full: a long message on a slow line) answers a write with EAGAIN, which
  // the port reports as a resource error. The device is still there and the
  // bytes wait in the port's buffer; the drain poll writes them on.
  if (error == QSerialPort::ResourceError && !hungUp && QFileInfo::exists(device_)) {
    MSComm1.clearError();
    return;
  }
  handOverBurst();
  LinkEvent event;
  event.kind = LinkEvent::Kind::Error;
  event.error = error;
  event.deviceGone = error == QSerialPort::ResourceError || (error == QSerialPort::ReadError && hungUp);
  gone_ = event.deviceGone;
  post(event);
}

bool ModuleLink::lineHungUp() const {
#ifdef Q_OS_UNIX
  if (!MSComm1.isOpen()) return false;
  pollfd line{static_cast<int>(MSComm1.handle()), POLLIN, 0};
  return ::poll(&line, 1, 0) > 0 && (line.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
#else
  return false;
#endif
}

void ModuleLink::dropBurst() {
  ++opening_;
  handOver_.stop();
  head_.clear();
  count_ = 0;
  gone_ = false;
}

}  // namespace vf
