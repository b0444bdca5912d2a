// The serial line to the module on real pseudo-terminals: opening, writing,
// and what comes back gathered into bursts and judged, in pieces, as endless
// streams, with a device that goes away. A pseudo-terminal has no modem lines:
// only what the link makes of a change in their readings is checked here.

#include "link/module_link.h"
#include "sim/pseudo_terminal.h"
#include "tests/support/bytes.h"

#include <QTest>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>


using namespace vf;

namespace {


// A link opened on a pseudo-terminal, recording every event.
struct Line {
  explicit Line(ConnectionKind kind = ConnectionKind::Rs232c, int quietMs = ModuleLink::kQuietMs,
                int maxBurstMs = ModuleLink::kMaxBurstMs) {
    link.setBurstTiming(quietMs, maxBurstMs);
    open = link.open(1, kind).open;
    QObject::connect(&link, &ModuleLink::event, [this](const LinkEvent &e) { events.append(e); });
  }
  PseudoTerminal pty;
  ModuleLink link{[this](int, ConnectionKind) { return pty.path(); }};
  bool open = false;
  QList<LinkEvent> events;
};

// Bytes from the far end that nobody on the device side has read yet.
int waitingOnDevice(const PseudoTerminal &pty) {
  const int fd = ::open(QFile::encodeName(pty.path()).constData(), O_RDWR | O_NOCTTY);
  int count = -1;
  if (fd >= 0 && ::ioctl(fd, FIONREAD, &count) != 0) count = -1;
  if (fd >= 0) ::close(fd);
  return count;
}

}  // namespace

class SerialLinkTest : public QObject {
  Q_OBJECT
 private slots:
  void openingAndWriting() {
    Line line;
    QVERIFY(line.open);
    const int fd = ::open(QFile::encodeName(line.pty.path()).constData(), O_RDWR | O_NOCTTY);
    termios t{};
    QCOMPARE(tcgetattr(fd, &t), 0);
    ::close(fd);
    QCOMPARE(cfgetospeed(&t), speed_t(B19200));
    QCOMPARE(t.c_cflag & (CSTOPB | CRTSCTS), tcflag_t(0));  // one stop bit, no RTS/CTS
    QVERIFY(!(t.c_iflag & (IXON | IXOFF)));
    // A pseudo-terminal has 8 data bits and no parity whatever it is asked
    // for, so these two are read from what the port object was told.
    const auto *port = line.link.findChild<QSerialPort *>();
    QVERIFY(port->dataBits() == QSerialPort::Data8 && port->parity() == QSerialPort::NoParity);

    QString progress;  // bytes gone of those written since the line was idle
    QObject::connect(&line.link, &ModuleLink::sending, [&](auto p) { progress = u"%1/%2"_qs.arg(p.gone).arg(p.total); });
    QVERIFY(line.link.sendMessage({hex("0000250000 25EF"), hex("0000040100 05EF")}));
    QVERIFY(line.link.sendCommand(CommandCode::DataCue));
    QCOMPARE(line.pty.readExactly(21), hex("00002500 0025EF 00000401 0005EF 00001800 0018EF"));
    QTRY_COMPARE(progress, u"21/21"_qs);
    QVERIFY(line.link.sendCommand(CommandCode::Update));
    QTRY_COMPARE(progress, u"7/7"_qs);  // counted afresh

    // A line held back longer than the driver's queue lasts: the rest waits in
    // the port (the driver answers EAGAIN, no lost device) and follows in order.
    Line held;
    QVERIFY(held.pty.holdOutput(true));
    QByteArray all;
    for (int i = 0; i < 64; ++i) {
      all += QByteArray(1024, char(i));
      QVERIFY(held.link.write(all.right(1024)));
    }
    QVERIFY(!QTest::qWaitFor([&] { return !held.link.isOpen() || !held.events.isEmpty(); }, 100));
    QVERIFY(held.link.bytesPending() > 0);
    QVERIFY(held.pty.holdOutput(false));
    QByteArray arrived;
    QTRY_VERIFY((arrived += held.pty.readFor(1), arrived.size() >= all.size()));
    QCOMPARE(arrived, all);
  }

  // Each reply is judged by the kind of connection, whole and cut in two:
  // each way gives one event. The quiet time is generous so that nothing
  // depends on machine speed.
  void replies_data() {
    QTest::addColumn<ConnectionKind>("kind");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("replyText");  // "-": replyField stays as it is
    QTest::addColumn<bool>("cue");
    const auto rs = ConnectionKind::Rs232c, usb = ConnectionKind::UsbConverter;
    QTest::newRow("rs cue reply") << rs << hex("1122C000") << "ﾀ" << true;
    QTest::newRow("rs single C0") << rs << hex("C0") << "" << false;
    QTest::newRow("rs ta and A") << rs << hex("1122C041") << "ﾀA" << false;
    QTest::newRow("rs cue reply and more") << rs << hex("1122C0003344") << "ﾀ" << true;
    QTest::newRow("rs NUL first") << rs << hex("112200C0") << "" << false;
    QTest::newRow("rs double-byte") << rs << hex("112282A0") << "あ" << false;
    QTest::newRow("rs cue in bytes 1 and 2") << rs << hex("C0004142") << "AB" << false;
    QTest::newRow("usb C0 and more") << usb << hex("C011223344") << "-" << true;
    QTest::newRow("usb rs form") << usb << hex("1122C000") << "-" << false;
  }
  void replies() {
    QFETCH(ConnectionKind, kind);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, replyText);
    QFETCH(bool, cue);
    for (const QList<QByteArray> &pieces : {QList<QByteArray>{bytes}, {bytes.left(2), bytes.mid(2)}}) {
      Line line(kind, 100, 10000);
      for (const QByteArray &piece : pieces) {
        QVERIFY(line.pty.write(piece));
        QTest::qWait(2);
      }
      QTRY_COMPARE(line.events.size(), 1);
      QVERIFY(!QTest::qWaitFor([&] { return line.events.size() > 1; }, 150));
      const LinkEvent &e = line.events[0];
      QCOMPARE(e.kind, LinkEvent::Kind::Reply);
      QCOMPARE(e.byteCount, bytes.size());
      QCOMPARE(e.verdict.replyText.value_or(u"-"_qs), replyText);
      QCOMPARE(e.verdict.sendDataCue, cue);
    }
  }

  // The quiet time that ends a burst lies between the gaps inside one reply
  // and the 20 ms between update commands; counted over many replies, so
  // that a late wake-up of a loaded machine does not decide.
  void burstBounds() {
    Line line;
    int whole = 0;
    for (int i = 0; i < 20; ++i) {  // four bytes 1 ms apart, then 30 ms of quiet
      line.events.clear();
      for (const char c : hex("1122C000")) {
        QVERIFY(line.pty.write(QByteArray(1, c)));
        QTest::qWait(1);
      }
      QTest::qWait(30);
      whole += line.events.size() == 1 && line.events[0].byteCount == 4;
    }
    QVERIFY2(whole >= 15, qPrintable(QString::number(whole)));
    line.events.clear();
    for (int i = 0; i < 20; ++i) {  // replies 20 ms apart stay apart
      QVERIFY(line.pty.write(hex("1122C000")));
      QTest::qWait(20);
    }
    QTRY_VERIFY2(line.events.size() >= 15, qPrintable(QString::number(line.events.size())));
    line.events.clear();
    for (int i = 0; i < 200; ++i) {  // a stream without pauses gives an event every 50 ms
      QVERIFY(line.pty.write(QByteArray(1, char(i))));
      QTest::qWait(1);
    }
    QVERIFY2(line.events.size() >= 3, qPrintable(QString::number(line.events.size())));
  }

  // The first reading of the modem lines after opening is no change; a change
  // is one event. The far end goes away: the burst before it comes first, then
  // one event says the device is gone, and no stream of errors follows.
  void deviceGone() {
    Line line(ConnectionKind::Rs232c, 300, 10000);
    for (auto lines : {QSerialPort::DataSetReadySignal, QSerialPort::DataSetReadySignal, QSerialPort::NoSignal})
      line.link.noteModemLines(lines);  // as read from a port (a pseudo-terminal has no modem lines)
    QVERIFY(line.pty.write(hex("1122C000")));
    QTRY_COMPARE(waitingOnDevice(line.pty), 0);  // the reply has reached the device side
    QTest::qWait(50);  // and the link has taken it from there
    line.pty.closeFarEnd();
    QTRY_COMPARE(line.events.size(), 3);
    QVERIFY(!QTest::qWaitFor([&] { return line.events.size() > 3; }, 200));
    QCOMPARE(line.events[0].kind, LinkEvent::Kind::ModemLines);
    QCOMPARE(line.events[1].kind, LinkEvent::Kind::Reply);
    QVERIFY(line.events[2].kind == LinkEvent::Kind::Error && line.events[2].deviceGone);
    QVERIFY(!line.link.isOpen());  // the link has closed the port itself
  }
};

QTEST_GUILESS_MAIN(SerialLinkTest)
#include "tst_serial_link.moc"
