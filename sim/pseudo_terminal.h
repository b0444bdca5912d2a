#pragma once

#include <QByteArray>
#include <QString>

namespace vf {

// A pseudo-terminal pair standing in for a serial line: a program opens the
// device at path() like a serial port, and the far end is read and written
// here. The line is raw (no echo, no line editing) at 19200 baud. A handle on
// the device side is kept open, so the line stays up while the program closes
// and reopens its port.
class PseudoTerminal {
 public:
  PseudoTerminal();
  ~PseudoTerminal();
  PseudoTerminal(const PseudoTerminal &) = delete;
  PseudoTerminal &operator=(const PseudoTerminal &) = delete;

  bool isValid() const { return farEnd_ >= 0; }
  QString error() const { return error_; }
  QString path() const { return path_; }
  int farEnd() const { return farEnd_; }

  // What arrives at the far end until timeoutMs pass without a byte.
  QByteArray readFor(int timeoutMs);
  // Reads until count bytes have arrived or timeoutMs have passed in all.
  QByteArray readExactly(int count, int timeoutMs = 5000);
  // Writes all bytes from the far end; false if the line did not take them.
  bool write(const QByteArray &bytes);

  // Holds back (or lets go) what the program writes, as a line that takes its
  // bytes slowly does: the program's writes wait in its own buffer. (Without
  // this, the kernel takes some 15 kB of a pseudo-terminal's output at once.)
  bool holdOutput(bool hold);

  // Closes the far end: the program's port then sees the line hang up.
  void closeFarEnd();
  // Closes the spare handle on the device side, so that a close by the
  // program is a real hang-up.
  void releaseDeviceHandle();

 private:
  int farEnd_ = -1;
  int device_ = -1;
  QString path_;
  QString error_;
};

}  // namespace vf
