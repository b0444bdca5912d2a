// The pseudo-terminal the serial tests rely on carries bytes both ways,
// unaltered, through a real QSerialPort.

#include "tests/support/pseudo_terminal.h"

#include <QSerialPort>
#include <QtTest>

class PseudoTerminalTest : public QObject {
  Q_OBJECT
 private slots:
  void bytesCrossUnaltered() {
    PseudoTerminal pty;
    QVERIFY(pty.isValid());
    QSerialPort port(pty.path());
    QVERIFY2(port.open(QIODevice::ReadWrite), qPrintable(port.errorString()));
    QByteArray all;
    for (int i = 0; i < 256; ++i) all.append(static_cast<char>(i));
    QCOMPARE(port.write(all), qint64(256));
    QVERIFY(port.waitForBytesWritten(2000));
    QCOMPARE(pty.readExactly(256), all);

    QVERIFY(pty.write(QByteArray("\x11\x22\xC0\x00\r\n", 6)));
    QByteArray got;
    while (got.size() < 6 && port.waitForReadyRead(2000)) got += port.readAll();
    QCOMPARE(got, QByteArray("\x11\x22\xC0\x00\r\n", 6));
  }
};

QTEST_GUILESS_MAIN(PseudoTerminalTest)
#include "tst_pseudo_terminal.moc"
