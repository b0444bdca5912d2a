#pragma once

// Helpers for driving the main window's port handling in tests: a temporary
// folder as the program's folder, port numbers that name pseudo-terminals, and
// an operator who answers the port selection dialog whenever it appears.

#include "settings/port_dialog.h"
#include "settings/port_settings.h"
#include "tests/window_harness.h"
#include "ui/operator_dialogs.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QMap>
#include <QPair>
#include <QPointer>
#include <QRadioButton>
#include <QTemporaryDir>

#include <functional>
#include <memory>

namespace harness {

inline QByteArray readRaw(const QString &path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

inline bool writeRaw(const QString &path, const QByteArray &bytes) {
  QFile f(path);
  return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// What the operator does in one port selection dialog.
struct PortAnswer {
  QString comboText;
  bool usb = false;
  bool keep = false;  // "設定を保持"
};

// What was seen when a dialog appeared.
struct DialogSighting {
  QByteArray fileContent;  // portnum.ini as the dialog's load left it
  bool mainWindowVisible = false;
  bool portOpen = false;
  bool timer1Active = false;
  bool check1Checked = false;
  QString label13;
  vf::PortState state;
};

// Answers every port selection dialog that appears, from a queue of answers.
// A dialog beyond the queue is counted as unexpected and answered with the
// fallback, a port that opens, so that a test that goes wrong ends instead of
// waiting for ever.
class DialogOperator : public QObject {
 public:
  DialogOperator(Form1 &window, QString iniPath, PortAnswer fallback)
      : window_(window), iniPath_(std::move(iniPath)), fallback_(std::move(fallback)) {
    poll_.setInterval(5);
    connect(&poll_, &QTimer::timeout, this, &DialogOperator::look);
    poll_.start();
  }

  QList<PortAnswer> answers;
  QList<DialogSighting> sightings;
  int unexpected = 0;
  // Runs while the dialog is open, before it is answered.
  std::function<void(vf::Form2 &)> whileOpen;

 private:
  void look() {
    for (QWidget *w : QApplication::topLevelWidgets()) {
      auto *dialog = qobject_cast<vf::Form2 *>(w);
      if (!dialog || !dialog->isVisible() || answered_.contains(dialog)) continue;
      answered_.append(dialog);
      DialogSighting seen;
      seen.fileContent = readRaw(iniPath_);
      seen.mainWindowVisible = window_.isVisible();
      seen.portOpen = window_.port().isOpen();
      seen.timer1Active = window_.timer1().isActive();
      seen.check1Checked = check1(window_)->isChecked();
      seen.label13 = label(window_, "Label13")->text();
      seen.state = vf::portState();
      sightings.append(seen);
      if (whileOpen) whileOpen(*dialog);

      PortAnswer answer = fallback_;
      if (answers.isEmpty())
        ++unexpected;
      else
        answer = answers.takeFirst();
      dialog->findChild<QComboBox *>(QStringLiteral("Combo1"))->setEditText(answer.comboText);
      dialog->findChild<QRadioButton *>(answer.usb ? QStringLiteral("Option2") : QStringLiteral("Option1"))->click();
      dialog->findChild<QCheckBox *>(QStringLiteral("Check1"))->setChecked(answer.keep);
      dialog->findChild<QPushButton *>(QStringLiteral("Command1"))->click();
      return;
    }
  }

  Form1 &window_;
  QString iniPath_;
  PortAnswer fallback_;
  QTimer poll_;
  QList<QPointer<vf::Form2>> answered_;
};

// A main window whose program folder is a temporary folder and whose port
// numbers name pseudo-terminals: devices[{n, kind}] = a device path. Any port
// not listed names a device that does not exist.
//
// Declare the pseudo-terminals before the rig, so that the window closes its
// port before they go away: an open port holds the serial lock of its device
// name, and a pseudo-terminal's number is handed out again at once, perhaps
// to another test running alongside.
class PortRig {
 public:
  PortRig() {
    vf::resetPortState();
    dialogs = std::make_unique<vf::RecordingDialogs>();
    window = std::make_unique<Form1>();
    window->setEndProgram([] {});
    window->setSettingsFolder(folder.path());
    window->setDeviceNamer([this](int portNum, int portKind) {
      return devices.value({portNum, portKind}, folder.filePath(QStringLiteral("no-such-device")));
    });
    devices.insert({16, vf::kKindUsbConverter}, fallbackPty.path());
    window->show();
    dialogOperator = std::make_unique<DialogOperator>(*window, iniPath(), PortAnswer{"Com 16", true, false});
  }
  ~PortRig() {
    dialogOperator.reset();
    window.reset();
    dialogs.reset();
  }

  QString iniPath() const { return folder.filePath(QStringLiteral("portnum.ini")); }
  bool writeIni(const QByteArray &bytes) const { return writeRaw(iniPath(), bytes); }
  QByteArray ini() const { return readRaw(iniPath()); }
  void map(int portNum, int portKind, const PseudoTerminal &pty) { devices.insert({portNum, portKind}, pty.path()); }

  Form1 &w() { return *window; }
  QStringList &messages() { return dialogs->messages; }

  QTemporaryDir folder;
  PseudoTerminal fallbackPty;  // "Com 16" USB変換, the unexpected dialog's answer
  QMap<QPair<int, int>, QString> devices;
  std::unique_ptr<vf::RecordingDialogs> dialogs;
  std::unique_ptr<Form1> window;
  std::unique_ptr<DialogOperator> dialogOperator;
};

}  // namespace harness
