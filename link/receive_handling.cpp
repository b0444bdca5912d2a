#include "link/receive_handling.h"

#include "encoder/cp932.h"
#include "settings/port_settings.h"

#include <utility>

#ifdef Q_OS_UNIX
#include <poll.h>
#endif

namespace vf {

ReceiveVerdict judgeReceivedBytes(const QByteArray &bytes, int portKind) {
  ReceiveVerdict verdict;
  if (portKind == kKindUsbConverter) {
    verdict.sendDataCue = !bytes.isEmpty() && static_cast<unsigned char>(bytes[0]) == 0xC0;
    return verdict;
  }
  QString text;
  if (bytes.size() >= 4) {
    text = cp932::decode(bytes.mid(2, 2));
    const qsizetype nul = text.indexOf(QChar(u'\0'));
    if (nul >= 0) text.truncate(nul);
  }
  verdict.sendDataCue = text == QStringLiteral("ﾀ");
  verdict.text2 = std::move(text);
  return verdict;
}

ReceiveBurstGatherer::ReceiveBurstGatherer(QSerialPort &port, Handler handler, QObject *parent)
    : ReceiveBurstGatherer(port, std::move(handler), Timing{}, parent) {}

ReceiveBurstGatherer::ReceiveBurstGatherer(QSerialPort &port, Handler handler, Timing timing, QObject *parent)
    : QObject(parent), port_(port), handler_(std::move(handler)), timing_(timing) {
  handOver_.setSingleShot(true);
  handOver_.setTimerType(Qt::PreciseTimer);
  connect(&handOver_, &QTimer::timeout, this, &ReceiveBurstGatherer::handOverBurst);
  connect(&port_, &QSerialPort::readyRead, this, &ReceiveBurstGatherer::takeArrivedBytes);
  connect(&port_, &QSerialPort::errorOccurred, this, &ReceiveBurstGatherer::takeError);
  connect(&port_, &QIODevice::aboutToClose, this, &ReceiveBurstGatherer::dropBurst);
}

void ReceiveBurstGatherer::takeArrivedBytes() {
  const QByteArray arrived = port_.readAll();
  if (arrived.isEmpty()) return;
  if (count_ == 0) burstClock_.start();
  if (head_.size() < kKeptBytes) head_.append(arrived.left(kKeptBytes - head_.size()));
  count_ += arrived.size();
  // A burst that has gone on too long is handed over at once, quiet or not.
  handOver_.start(burstClock_.elapsed() >= timing_.maxBurstMs ? 0 : timing_.quietMs);
}

void ReceiveBurstGatherer::handOverBurst() {
  handOver_.stop();
  if (count_ == 0) return;
  PortEvent event;
  event.kind = PortEvent::Kind::Receive;
  event.bytes = std::exchange(head_, {});
  event.byteCount = std::exchange(count_, 0);
  if (handler_) handler_(event);
}

void ReceiveBurstGatherer::takeError(QSerialPort::SerialPortError error) {
  if (error == QSerialPort::NoError || gone_) return;
  handOverBurst();
  PortEvent event;
  event.kind = PortEvent::Kind::Other;
  event.error = error;
  event.deviceGone = error == QSerialPort::ResourceError || (error == QSerialPort::ReadError && lineHungUp());
  gone_ = event.deviceGone;
  if (handler_) handler_(event);
}

bool ReceiveBurstGatherer::lineHungUp() const {
#ifdef Q_OS_UNIX
  if (!port_.isOpen()) return false;
  pollfd line{static_cast<int>(port_.handle()), POLLIN, 0};
  return ::poll(&line, 1, 0) > 0 && (line.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
#else
  return false;
#endif
}

void ReceiveBurstGatherer::dropBurst() {
  handOver_.stop();
  head_.clear();
  count_ = 0;
  gone_ = false;
}

}  // namespace vf
