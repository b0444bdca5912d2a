// The serial line to the module on real pseudo-terminals: opening, writing,
// and what comes back gathered into bursts and judged, in pieces, as endless
// streams, with a device that goes away and modem lines that change.

#include "link/module_link.h"
#include "sim/pseudo_terminal.h"

#include <QtTest>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <thread>

using namespace vf;

namespace {

QByteArray hex(const char *h) { return QByteArray::fromHex(h); }

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

}  // namespace

class SerialLinkTest : public QObject {
  Q_OBJECT
 private slots:
  void opening() {
    Line line;
    QVERIFY(line.open);
    const int fd = ::open(QFile::encodeName(line.pty.path()).constData(), O_RDWR | O_NOCTTY);
    termios t{};
    QCOMPARE(tcgetattr(fd, &t), 0);
    ::close(fd);
    QCOMPARE(cfgetospeed(&t), speed_t(B19200));
    QCOMPARE(t.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS), tcflag_t(CS8));
    QVERIFY(!(t.c_iflag & (IXON | IXOFF)));

    ModuleLink nowhere([](int, ConnectionKind) { return u"/nonexistent/ttyS9"_qs; });
    const PortOpenResult failed = nowhere.open(3, ConnectionKind::Rs232c);
    QVERIFY(!failed.open && !nowhere.isOpen() && !failed.reason.isEmpty());
    QCOMPARE(openFailureDetail(failed), u"/nonexistent/ttyS9: "_qs + failed.reason);
    QVERIFY(openFailureDetail({false, u"/dev/ttyS0"_qs, u"Permission denied"_qs, true}).contains(u"dialout"_qs));
  }

  void writing() {
    Line line;
    QVERIFY(line.link.SendMessage({hex("0000250000 25EF"), hex("0000040100 05EF")}));
    QVERIFY(line.link.SendControlCommand(CommandCode::DataCue));
    QCOMPARE(line.pty.readExactly(21), hex("00002500 0025EF 00000401 0005EF 00001800 0018EF"));
    line.link.close();
    QVERIFY(!line.link.WriteToPort(hex("00")));
    QCOMPARE(line.link.failureText(), u"ポートが開いていません"_qs);
  }

  // Each reply is judged by the kind of connection, whole, one byte at a
  // time and cut in two: each way gives one event. The quiet time is generous
  // so that nothing depends on machine speed.
  void replies_data() {
    QTest::addColumn<ConnectionKind>("kind");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text2");  // "-": Text2 stays as it is
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
    QTest::newRow("usb 11 C0") << usb << hex("11C0") << "-" << false;
    QTest::newRow("usb rs form") << usb << hex("1122C000") << "-" << false;
  }
  void replies() {
    QFETCH(ConnectionKind, kind);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text2);
    QFETCH(bool, cue);
    QList<QByteArray> single;
    for (const char c : bytes) single.append(QByteArray(1, c));
    for (const QList<QByteArray> &pieces : {QList<QByteArray>{bytes}, single, {bytes.left(2), bytes.mid(2)}}) {
      Line line(kind, 100, 10000);
      for (const QByteArray &piece : pieces) {
        QVERIFY(line.pty.write(piece));
        QTest::qWait(2);
      }
      QTRY_COMPARE(line.events.size(), 1);
      QTest::qWait(150);
      QCOMPARE(line.events.size(), 1);
      const LinkEvent &e = line.events[0];
      QCOMPARE(e.kind, LinkEvent::Kind::Reply);
      QCOMPARE(e.byteCount, bytes.size());
      QCOMPARE(e.verdict.text2.value_or(u"-"_qs), text2);
      QCOMPARE(e.verdict.sendDataCue, cue);
    }
  }

  void bursts() {
    {  // a quiet line ends a burst
      Line line;
      QVERIFY(line.pty.write(hex("1122C000")));
      QTRY_COMPARE(line.events.size(), 1);
      QVERIFY(line.pty.write(hex("C0")));
      QTRY_COMPARE(line.events.size(), 2);
      QCOMPARE(line.events[1].byteCount, 1);
    }
    {  // a stream without pauses still gives events
      Line line(ConnectionKind::Rs232c, 300, 50);
      for (int i = 0; i < 40; ++i) {
        QVERIFY(line.pty.write(QByteArray(1, char(i))));
        QTest::qWait(10);
      }
      QTRY_VERIFY(!line.events.isEmpty() && line.events.size() >= 3);
    }
    {  // a megabyte of junk as fast as the line takes it: every byte counted, none kept for long
      Line line(ConnectionKind::UsbConverter);
      constexpr qint64 kTotal = 1 << 20;
      std::thread writer([&] {
        QByteArray junk(4096, '\x11');
        for (qint64 done = 0; done < kTotal; done += junk.size())
          if (!line.pty.write(junk)) return;
      });
      qint64 counted = 0;
      QTRY_VERIFY_WITH_TIMEOUT((counted = std::accumulate(line.events.begin(), line.events.end(), qint64(0),
                                                          [](qint64 n, const LinkEvent &e) { return n + e.byteCount; })) == kTotal,
                               60000);
      writer.join();
    }
  }

  // The far end goes away: the burst before it comes first, then one event
  // says the device is gone, and no stream of errors follows.
  void deviceGone() {
    Line line(ConnectionKind::Rs232c, 300, 10000);
    QVERIFY(line.pty.write(hex("1122C000")));
    QTest::qWait(50);
    line.pty.closeFarEnd();
    QTRY_COMPARE(line.events.size(), 2);
    QTest::qWait(200);
    QCOMPARE(line.events.size(), 2);
    QCOMPARE(line.events[0].kind, LinkEvent::Kind::Reply);
    QVERIFY(line.events[1].kind == LinkEvent::Kind::Error && line.events[1].deviceGone);
  }

  void modemLines() {
    Line line;
    line.link.checkModemLines();  // a pseudo-terminal has none: no event
    line.link.noteModemLines(QSerialPort::DataSetReadySignal);
    line.link.noteModemLines(QSerialPort::DataSetReadySignal);
    QTest::qWait(20);
    QVERIFY(line.events.isEmpty());
    line.link.noteModemLines(QSerialPort::DataSetReadySignal | QSerialPort::ClearToSendSignal);
    QTRY_COMPARE(line.events.size(), 1);
    QCOMPARE(line.events[0].kind, LinkEvent::Kind::ModemLines);
  }
};

QTEST_GUILESS_MAIN(SerialLinkTest)
#include "tst_serial_link.moc"
