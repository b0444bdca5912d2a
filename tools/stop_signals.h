#pragma once

#include <QObject>
#include <QSocketNotifier>

namespace vf {

// SIGTERM, SIGINT and SIGHUP delivered through the event loop: the handler only
// writes the signal's number into a socket pair whose other end a socket
// notifier watches. One a process.
class StopSignals : public QObject {
  Q_OBJECT
 public:
  explicit StopSignals(QObject *parent = nullptr);
  ~StopSignals() override;

 signals:
  void received(int signal);

 private:
  QSocketNotifier *notifier_ = nullptr;
};

}  // namespace vf
