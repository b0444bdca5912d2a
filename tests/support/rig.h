#pragma once

// What the tests of the windows share: a stand-in for the modal dialogs, the
// far end of the module's line read through the module-side decoder, and a
// main window whose port numbers name pseudo-terminals.

#include "protocol/module_decoder.h"
#include "settings/port_dialog.h"
#include "sim/pseudo_terminal.h"
#include "ui/main_window.h"
#include "ui/operator_dialogs.h"
#include "ui/text_field.h"

#include <QHash>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <memory>
#include <optional>

namespace vf::rig {

// Records every message instead of showing a modal box, and answers the file
// dialog from a queue. atMessage runs as each message would appear.
class RecordingDialogs : public vf::OperatorDialogs {
 public:
  RecordingDialogs() { install(this); }
  ~RecordingDialogs() override { install(nullptr); }
  void showMessage(QWidget *, const QString &text) override;
  QString chooseFileToOpen(QWidget *, const QString &filter) override;

  QStringList messages;
  QStringList fileFilters;
  QStringList filesToChoose;
  std::function<void(const QString &)> atMessage;
};

// The module's end of a pseudo-terminal: every byte the program writes, and
// what the module makes of them.
class FarEnd {
 public:
  vf::PseudoTerminal line;
  QByteArray bytes;
  std::vector<vf::ModuleEvent> events;

  // Reads while the program's events run, for ms milliseconds.
  void readFor(int ms);
  // Reads until quietMs pass without a byte (at most 5 s).
  void settle(int quietMs = 100);
  QStringList messages() const;  // the text of each complete message
  void clear();

 private:
  bool readSome();
  vf::ModuleDecoder decoder_;
};

// A main window with portnum.ini in a temporary folder. RS-232C port 1 and
// converter port 2 name `module`'s line; `devices` may name more. A port not
// named is a device that does not exist.
class WindowRig {
 public:
  // The first line of portnum.ini (nullopt: no file), and the file of the
  // window's state (empty: one in the temporary folder), and the device of --device.
  explicit WindowRig(std::optional<QByteArray> ini = QByteArray("1\r\n"), const QString &windowState = {},
                     const QString &givenDevice = {});

  void start() { window->startUp(); }
  QString iniPath() const;
  QByteArray ini() const;
  vf::PortDialog *dialog() const;  // the open port dialog, if any

  template <typename T>
  T *find(const QString &name) const {
    return window->findChild<T *>(name);
  }
  QString field(const QString &name) const;  // the text of a field or label
  void press(const QString &name);           // clicks the button, or triggers the menu item
  void type(const QString &name, const QString &text);  // into a field, as keys (typeText)
  void chooseSpeed(int speed);  // clicks the option button of speed 1 (超高速) .. 5 (低速)
  // Waits for the port dialog and answers it as an operator: clicks the kind and "設定を保持" as asked,
  // types the port into the box and clicks "決定" (or presses Enter in the box). False: no dialog came.
  bool answer(const QString &port, bool usb = false, bool keep = false, bool enter = false);

  QTemporaryDir folder;
  FarEnd module;
  QHash<QString, QString> devices;  // "1/0" (port number/kind) -> device
  RecordingDialogs dialogs;
  int endRequests = 0;
  std::unique_ptr<vf::MainWindow> window;
};

// Types the text key by key; a line feed is the Enter key.
void typeText(QWidget *widget, const QString &text);

}  // namespace vf::rig
