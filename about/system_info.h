#pragma once

#include "link/device_access.h"
#include "link/module_link.h"

#include <QDialog>
#include <QString>

#include <vector>

namespace vf {

// What a support call needs to know about this computer and its serial
// ports, as the About window's "ｼｽﾃﾑ情報" shows it where the system has no
// information program of its own (Linux): above all, why a port does not open.
struct SerialPortFacts {
  QString device;        // /dev/ttyUSB0
  QString portNumbers;   // the port numbers that open it ("Com 1（USB変換）"); empty: none
  bool given = false;    // named with --device
  QString description;
  QString manufacturer;
  QString usbId;         // vendor:product in hex ("0403:6001"); empty when not USB
  QString serialNumber;
  QString use;           // free, or who holds it
  DeviceFile file;       // owner, group and mode
  bool mayOpen = false;  // the user may open it for reading and writing
};

struct SystemFacts {
  QString system;     // the operating system's name and version
  QString kernel;     // the kernel's name and version
  QString qtVersion;  // the Qt the program runs with
  QString user;       // the name the system knows the user by
  bool inDialout = false;  // the user's processes are in the group dialout now
  std::vector<SerialPortFacts> ports;
};

// The serial devices of the program itself.
struct ProgramDevices {
  QString open;   // the device it has open (a pseudo-terminal too); empty: none
  QString given;  // the device given with --device; empty: none
  ModuleLink::DeviceNamer namer;  // the device of a port number and kind; empty: the device the number names
};

// A USB device's vendor and product as lsusb shows them: "0403:6001".
QString usbIdText(quint16 vendor, quint16 product);

// A text from outside the program (a device's name, what its USB chip says)
// as the report shows it: control and formatting characters written as
// escapes (a line break as \x0a, U+202E as \u202e), a backslash doubled,
// at most kShownLength characters and then "…".
inline constexpr int kShownLength = 160;
QString shownText(const QString &text);

// The port numbers 1 … 16 of either kind whose device, as namer names it, is
// this device (the same file).
QString portNumbersOf(const QString &device, const ModuleLink::DeviceNamer &namer);

// One device as the report shows it, judged for the user: its port numbers,
// its file, who holds it and whether the user may open it.
SerialPortFacts deviceFacts(const QString &device, const ProgramDevices &program, const UserIds &user);

// Reads them off this computer for this process's user: the program's own
// devices first, then every serial port Qt finds.
SystemFacts gatherSystemFacts(const ProgramDevices &program);

// The facts as selectable text, one port a paragraph; for a port the user
// may not open, the one thing that would help.
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
