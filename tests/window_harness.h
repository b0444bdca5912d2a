#pragma once

// Helpers for driving the real main window in tests: its controls by name,
// MSComm1 opened on a pseudo-terminal, and the bytes read at the far end.

#include "tests/support/pseudo_terminal.h"
#include "ui/main_window.h"
#include "ui/text_field.h"

#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSerialPort>
#include <QTimer>

namespace harness {

template <typename T>
T *control(Form1 &window, const char *name) {
  return window.findChild<T *>(QString::fromLatin1(name));
}

inline vf::TextField *textField(Form1 &window, const char *name) { return control<vf::TextField>(window, name); }
inline QLineEdit *lineField(Form1 &window, const char *name) { return control<QLineEdit>(window, name); }
inline QLabel *label(Form1 &window, const char *name) { return control<QLabel>(window, name); }
inline QPushButton *button(Form1 &window, const char *name) { return control<QPushButton>(window, name); }
inline QAction *action(Form1 &window, const char *name) { return control<QAction>(window, name); }
inline QCheckBox *check1(Form1 &window) { return control<QCheckBox>(window, "Check1"); }
inline QTimer *timer1(Form1 &window) { return control<QTimer>(window, "Timer1"); }

// Opens MSComm1 on the pseudo-terminal at the line settings of the module.
inline bool openPort(Form1 &window, const PseudoTerminal &pty) {
  QSerialPort *port = control<QSerialPort>(window, "MSComm1");
  port->setPortName(pty.path());
  port->setBaudRate(19200);
  port->setDataBits(QSerialPort::Data8);
  port->setParity(QSerialPort::NoParity);
  port->setStopBits(QSerialPort::OneStop);
  port->setFlowControl(QSerialPort::NoFlowControl);
  return port->open(QIODevice::ReadWrite);
}

// Reads at the far end, letting the window's events run meanwhile, until
// count bytes have arrived or timeoutMs has passed.
inline QByteArray readAtFarEnd(PseudoTerminal &pty, int count, int timeoutMs = 5000) {
  QByteArray got;
  QDeadlineTimer deadline(timeoutMs);
  while (got.size() < count && !deadline.hasExpired()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    got += pty.readExactly(count - got.size(), 5);
  }
  return got;
}

// Everything that arrives until nothing has come for quietMs.
inline QByteArray readUntilQuiet(PseudoTerminal &pty, int quietMs = 150) {
  QByteArray got;
  QDeadlineTimer quiet(quietMs);
  while (!quiet.hasExpired()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    const QByteArray more = pty.readFor(5);
    if (!more.isEmpty()) {
      got += more;
      quiet.setRemainingTime(quietMs);
    }
  }
  return got;
}

inline QByteArray bytesOf(const char *hex) { return QByteArray::fromHex(hex); }

inline const QByteArray &updateCommand() {
  static const QByteArray bytes = bytesOf("00 00 1C 00 00 1C EF");
  return bytes;
}

// How many whole update commands `bytes` is made of; -1 when it holds
// anything else.
inline int updateCommandsIn(const QByteArray &bytes) {
  if (bytes.size() % updateCommand().size() != 0) return -1;
  for (qsizetype i = 0; i < bytes.size(); i += updateCommand().size())
    if (bytes.mid(i, updateCommand().size()) != updateCommand()) return -1;
  return static_cast<int>(bytes.size() / updateCommand().size());
}

}  // namespace harness
