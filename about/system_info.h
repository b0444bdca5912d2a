#pragma once

#include <QDialog>
#include <QString>

#include <vector>

namespace vf {

// What a support call needs to know about this computer and its serial
// ports, as the About window's "ｼｽﾃﾑ情報" shows it where the system has no
// information program of its own (Linux).
struct SerialPortFacts {
  QString device;        // /dev/ttyUSB0
  QString description;
  QString manufacturer;
  QString usbId;         // vendor:product in hex ("0403:6001"); empty when not USB
  QString serialNumber;
  QString use;           // free, or who holds it
  bool mayOpen = false;  // this user may open it for reading and writing
};

struct SystemFacts {
  QString system;     // the operating system's name and version
  QString kernel;     // the kernel's name and version
  QString qtVersion;  // the Qt the program runs with
  QString user;
  bool inDialout = false;  // the user's processes are in the group dialout now
  std::vector<SerialPortFacts> ports;
};

// A USB device's vendor and product as lsusb shows them: "0403:6001".
QString usbIdText(quint16 vendor, quint16 product);

// Reads them off this computer. `ownDevice` is the serial device this program
// has open (empty: none).
SystemFacts gatherSystemFacts(const QString &ownDevice);

// The facts as selectable text, one port a paragraph.
QString systemReport(const SystemFacts &facts);

// A window with the report, its text selectable and copyable.
class SystemInfoWindow : public QDialog {
  Q_OBJECT
 public:
  explicit SystemInfoWindow(const QString &report, QWidget *parent = nullptr);
  QString report() const { return report_; }

 private:
  QString report_;
};

}  // namespace vf
