#pragma once

#include <QByteArray>
#include <QString>

// A real pseudo-terminal pair for serial tests: the program opens the device
// at path() like a serial port, the test reads and writes the other end.
class PseudoTerminal {
 public:
  PseudoTerminal();
  ~PseudoTerminal();
  PseudoTerminal(const PseudoTerminal &) = delete;
  PseudoTerminal &operator=(const PseudoTerminal &) = delete;

  bool isValid() const { return master_ >= 0; }
  // The device path the program opens (/dev/pts/N).
  QString path() const { return path_; }

  // Everything that arrives within timeoutMs of quiet after the last byte.
  QByteArray readFor(int timeoutMs);
  // Reads until count bytes have arrived or timeoutMs has passed in all.
  QByteArray readExactly(int count, int timeoutMs = 5000);
  // Bytes from the far end to the program; returns false if not all written.
  bool write(const QByteArray &bytes);

  // Closes the test's end: the program's port then sees the device go away.
  void closeFarEnd();
  // Closes the spare handle on the program's side that keeps the line up
  // between opens (so that a close by the program is a real hang-up).
  void releaseDeviceHandle();

 private:
  int master_ = -1;
  int slave_ = -1;
  QString path_;
};
