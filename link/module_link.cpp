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

bool dialoutRemedyApplies(const PortOpenResult &result) {
  return !result.open && result.permissionDenied && dialoutRemedyApplies(result.file);
}

ModuleLink::ModuleLink(DeviceNamer namer, QObject *parent) : QObject(parent), port_(this), namer_(std::move(namer)) {
  port_.setObjectName(QStringLiteral("serialPort"));
  handOver_.setSingleShot(true);
  handOver_.setTimerType(Qt::PreciseTimer);
  connect(&handOver_, &QTimer::timeout, this, &ModuleLink::handOverBurst);
  connect(&port_, &QSerialPort::readyRead, this, &ModuleLink::takeArrivedBytes);
  connect(&port_, &QSerialPort::errorOccurred, this, &ModuleLink::takeError);
  connect(&port_, &QIODevice::aboutToClose, this, &ModuleLink::dropBurst);
  // A few times a second is enough for the operator; a waiter learns of the
  // end within one poll.
  drainPoll_.setInterval(20);
  connect(&drainPoll_, &QTimer::timeout, this, &ModuleLink::checkDrain);
  // The modem-control lines are read while the port is open.
  modemPoll_.setInterval(kModemPollMs);
  connect(&modemPoll_, &QTimer::timeout, this, &ModuleLink::checkModemLines);
  clock_.start();
}

ModuleLink::~ModuleLink() {
  // The port goes last of the members: nothing it says on closing may reach them.
  disconnect(&port_, nullptr, this, nullptr);
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
  const QSignalBlocker quiet(port_);
  ++opening_;
  kind_ = kind;
  modemLines_.reset();
  lineFreeAtNs_ = 0;

  PortOpenResult result;
  result.device = namer_ ? namer_(portNum, kind) : deviceNameFor(portNum, kind);
  if (result.device.isEmpty()) {
    result.failure = PortOpenResult::Failure::NoPortNumber;
    return result;
  }
  port_.setPortName(result.device);
  device_ = result.device;
  port_.setBaudRate(QSerialPort::Baud19200);
  port_.setParity(QSerialPort::NoParity);
  port_.setDataBits(QSerialPort::Data8);
  port_.setStopBits(QSerialPort::OneStop);
  port_.setFlowControl(QSerialPort::NoFlowControl);

  if (!port_.open(QIODevice::ReadWrite)) {
    result.failure = PortOpenResult::Failure::Refused;
    result.systemError = port_.errorString();
    result.permissionDenied = port_.error() == QSerialPort::PermissionError;
    result.file = deviceFileOf(result.device);
    port_.clearError();
    return result;
  }
  // RTS off. Devices without modem lines refuse this; the port is open all the same.
  if (!port_.setRequestToSend(false)) port_.clearError();
  result.open = port_.isOpen();
  if (result.open) modemPoll_.start();
  if (!result.open) result = {false, result.device, PortOpenResult::Failure::Refused, port_.errorString(), false, {}};
  return result;
}

void ModuleLink::closeWhenSent(std::function<void()> then) {
  whenSent([this, then = std::move(then)] {
    close();
    if (then) then();
  });
}

void ModuleLink::close() {
  if (port_.isOpen()) port_.close();
}

bool ModuleLink::write(const QByteArray &bytes) {
  if (!port_.isOpen() || !port_.isWritable()) {
    failure_ = {WriteFailure::Kind::NotOpen, {}};
    return false;
  }
  if (port_.write(bytes) != bytes.size()) {
    failure_ = {WriteFailure::Kind::Refused, port_.errorString()};
    return false;
  }
  // Start the bytes on their way now; whatever the line does not take at once
  // follows from the port's buffer, in order, before anything written later.
  port_.flush();
  // Ten bits a byte at 19200 baud: 1920 bytes a second.
  lineFreeAtNs_ = std::max(lineFreeAtNs_, clock_.nsecsElapsed()) + bytes.size() * 1'000'000'000 / 1920;
  sentTotal_ += bytes.size();
  if (!drainPoll_.isActive()) drainPoll_.start();
  return true;
}

qint64 ModuleLink::driverQueue() const {
  if (!port_.isOpen()) return 0;
#if defined(Q_OS_UNIX)
  int queued = 0;
  if (::ioctl(static_cast<int>(port_.handle()), TIOCOUTQ, &queued) == 0) return queued;
#elif defined(Q_OS_WIN)
  COMSTAT status{};
  DWORD errors = 0;
  if (::ClearCommError(reinterpret_cast<HANDLE>(port_.handle()), &errors, &status)) return status.cbOutQue;
#endif
  return 0;
}

qint64 ModuleLink::bytesPending() const {
  return port_.isOpen() ? port_.bytesToWrite() + driverQueue() : 0;
}

qint64 ModuleLink::pacedRemainingMs() const {
  if (!paced_ || !port_.isOpen()) return 0;
  return std::max<qint64>(0, (lineFreeAtNs_ - clock_.nsecsElapsed() + 999'999) / 1'000'000);
}

bool ModuleLink::lineBusy() const { return bytesPending() > 0 || pacedRemainingMs() > 0; }

void ModuleLink::whenSent(std::function<void()> then) {
  const qint64 pending = bytesPending();
  if (!lineBusy()) {
    then();
    return;
  }
  // Each waiter is given the line time of what is pending now and a second.
  const QDeadlineTimer deadline(std::max(lineTimeMs(pending), pacedRemainingMs()) + kDrainSlackMs);
  if (whenSent_.empty() || drainDeadline_ < deadline) drainDeadline_ = deadline;
  whenSent_.push_back(std::move(then));
  if (!drainPoll_.isActive()) drainPoll_.start();
}

void ModuleLink::checkDrain() {
  // Whatever the driver could not take at the last try goes on now.
  if (port_.isOpen() && port_.bytesToWrite() > 0) port_.flush();
  const qint64 pending = bytesPending();
  emit sending({sentTotal_ - std::min(pending, sentTotal_), sentTotal_});
  if ((pending > 0 || pacedRemainingMs() > 0) && !(!whenSent_.empty() && drainDeadline_.hasExpired())) return;
  drainPoll_.stop();
  sentTotal_ = 0;
  // A waiter may write again or close the port: take the list first.
  for (const auto &then : std::exchange(whenSent_, {})) then();
}

bool ModuleLink::sendCommand(CommandCode code, std::uint8_t parameter) {
  return write(controlCommand(code, parameter));
}

bool ModuleLink::sendMessage(const std::vector<QByteArray> &writes) {
  // No event is handled between the writes, so nothing else (an update
  // command, the answer to a reply) comes between the start command and the
  // last packet.
  for (const QByteArray &bytes : writes) {
    if (!write(bytes)) return false;
  }
  return true;
}

std::optional<WriteFailure> ModuleLink::waitUntilSent() {
  const QDeadlineTimer deadline(lineTimeMs(bytesPending()) + kDrainSlackMs);
  // The port's buffer goes to the driver as the driver takes it, then the
  // driver's queue goes out on the line.
  while (port_.bytesToWrite() > 0 && !deadline.hasExpired()) {
    if (!port_.waitForBytesWritten(static_cast<int>(std::max<qint64>(1, deadline.remainingTime()))) &&
        port_.error() != QSerialPort::NoError && port_.error() != QSerialPort::TimeoutError) {
      return WriteFailure{WriteFailure::Kind::Refused, port_.errorString()};
    }
  }
  while (driverQueue() > 0 && !deadline.hasExpired()) QThread::msleep(5);
  if (const qint64 left = bytesPending(); left > 0) return WriteFailure{WriteFailure::Kind::Stalled, {}, left};
  return std::nullopt;
}

void ModuleLink::checkModemLines() {
  if (!port_.isOpen()) return;
  QSerialPort::PinoutSignals lines;
  {
    // A device without modem lines answers with an error; it is no event.
    const QSignalBlocker quiet(port_);
    lines = port_.pinoutSignals();
    if (port_.error() != QSerialPort::NoError) {
      port_.clearError();
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
  const QByteArray arrived = port_.readAll();
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
    port_.clearError();
    return;
  }
  handOverBurst();
  LinkEvent event;
  event.kind = LinkEvent::Kind::Error;
  event.error = error;
  event.deviceGone = error == QSerialPort::ResourceError || (error == QSerialPort::ReadError && hungUp);
  gone_ = event.deviceGone;
  if (!event.deviceGone) {
    post(event);
    return;
  }
  // The port is of no further use: it is closed, which also ends its own
  // stream of errors, before anyone hears of it (unless it was closed or
  // opened again meanwhile).
  QMetaObject::invokeMethod(
      this,
      [this, event, opening = opening_] {
        if (opening != opening_) return;
        close();
        emit this->event(event);
      },
      Qt::QueuedConnection);
}

bool ModuleLink::lineHungUp() const {
#ifdef Q_OS_UNIX
  if (!port_.isOpen()) return false;
  pollfd line{static_cast<int>(port_.handle()), POLLIN, 0};
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
  modemPoll_.stop();
}

}  // namespace vf
