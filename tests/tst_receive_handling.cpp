// Receive handling: the judge of one receive event, and the gathering of what
// a real pseudo-terminal delivers into bursts (pieces, gaps, endless streams,
// errors, a device that goes away).

#include "link/port_opening.h"
#include "link/receive_handling.h"
#include "settings/port_settings.h"
#include "tests/support/pseudo_terminal.h"

#include <QSerialPort>
#include <QtTest>

#include <functional>
#include <thread>

using vf::kKindRs232c;
using vf::kKindUsbConverter;
using vf::PortEvent;
using vf::ReceiveBurstGatherer;

namespace {

QByteArray hex(const char *h) { return QByteArray::fromHex(h); }

// Runs the event loop in small steps until the condition holds.
bool processUntil(const std::function<bool()> &condition, int timeoutMs = 10000) {
  QDeadlineTimer deadline(timeoutMs);
  while (!condition()) {
    if (deadline.hasExpired()) return false;
    QTest::qWait(1);
  }
  return true;
}

// A real serial port on a pseudo-terminal, with a gatherer that records every event.
struct Line {
  explicit Line(ReceiveBurstGatherer::Timing timing = {}) {
    open = vf::openSerialPort(port, 1, kKindRs232c, pty.path()).open;
    gatherer = std::make_unique<ReceiveBurstGatherer>(
        port, [this](const PortEvent &e) { events.append(e); }, timing);
  }
  PseudoTerminal pty;
  QSerialPort port;
  bool open = false;
  std::unique_ptr<ReceiveBurstGatherer> gatherer;
  QList<PortEvent> events;
};

}  // namespace

class ReceiveHandlingTest : public QObject {
  Q_OBJECT

 private slots:
  // Each case is judged whole, then sent through a pseudo-terminal one byte
  // at a time and cut in two: each way gives one event with the same bytes.
  // The quiet time is generous so that nothing depends on machine speed.
  void receive_data() {
    QTest::addColumn<int>("portKind");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("touchesText2");
    QTest::addColumn<QString>("text2");
    QTest::addColumn<bool>("cue");
    const int rs = kKindRs232c, usb = kKindUsbConverter;
    QTest::newRow("rs cue reply") << rs << hex("1122C000") << true << "ﾀ" << true;
    QTest::newRow("rs single C0") << rs << hex("C0") << true << "" << false;
    QTest::newRow("rs three bytes") << rs << hex("1122C0") << true << "" << false;
    QTest::newRow("rs ta and A") << rs << hex("1122C041") << true << "ﾀA" << false;
    QTest::newRow("rs cue reply and more") << rs << hex("1122C0003344") << true << "ﾀ" << true;
    QTest::newRow("rs NUL first") << rs << hex("112200C0") << true << "" << false;
    QTest::newRow("rs ta and blank") << rs << hex("1122C020") << true << "ﾀ " << false;
    QTest::newRow("rs ka ta") << rs << hex("1122B6C0") << true << "ｶﾀ" << false;
    QTest::newRow("rs double-byte") << rs << hex("112282A0") << true << "あ" << false;
    QTest::newRow("rs cue in bytes 1 and 2") << rs << hex("C0004142") << true << "AB" << false;
    QTest::newRow("rs nothing read") << rs << QByteArray() << true << "" << false;
    QTest::newRow("usb C0") << usb << hex("C0") << false << "" << true;
    QTest::newRow("usb C0 and more") << usb << hex("C011223344") << false << "" << true;
    QTest::newRow("usb 11 C0") << usb << hex("11C0") << false << "" << false;
    QTest::newRow("usb rs form") << usb << hex("1122C000") << false << "" << false;
    QTest::newRow("usb nothing read") << usb << QByteArray() << false << "" << false;
  }
  void receive() {
    QFETCH(int, portKind);
    QFETCH(QByteArray, bytes);
    QFETCH(bool, touchesText2);
    QFETCH(QString, text2);
    QFETCH(bool, cue);
    const vf::ReceiveVerdict verdict = vf::judgeReceivedBytes(bytes, portKind);
    QCOMPARE(verdict.text2.has_value(), touchesText2);
    if (touchesText2) QCOMPARE(*verdict.text2, text2);
    QCOMPARE(verdict.sendDataCue, cue);
    if (bytes.isEmpty()) return;  // nothing on the line makes no event

    QList<QByteArray> single;
    for (const char c : bytes) single.append(QByteArray(1, c));
    const QList<QByteArray> halves = {bytes.left(bytes.size() / 2), bytes.mid(bytes.size() / 2)};
    for (const QList<QByteArray> &pieces : {single, halves}) {
      Line line({100, 10000});
      QVERIFY(line.open);
      qint64 sent = 0;
      for (const QByteArray &piece : pieces) {
        QVERIFY(line.pty.write(piece));
        sent += piece.size();
        QVERIFY(processUntil([&] { return line.gatherer->pendingByteCount() == sent || !line.events.isEmpty(); }));
      }
      QVERIFY(processUntil([&] { return !line.events.isEmpty(); }));
      QTest::qWait(150);
      QCOMPARE(line.events.size(), 1);
      QCOMPARE(line.events[0].kind, PortEvent::Kind::Receive);
      QCOMPARE(line.events[0].bytes, bytes);
      QCOMPARE(line.events[0].byteCount, bytes.size());
    }
  }

  void aQuietLineEndsTheBurst() {
    Line line;
    QVERIFY(line.open);
    QVERIFY(line.pty.write(hex("1122C000")));
    QVERIFY(processUntil([&] { return line.events.size() == 1; }));
    QVERIFY(line.pty.write(hex("C0")));
    QVERIFY(processUntil([&] { return line.events.size() == 2; }));
    QCOMPARE(line.events[0].bytes, hex("1122C000"));
    QCOMPARE(line.events[1].bytes, hex("C0"));
  }

  void aStreamWithoutPausesIsCut() {
    Line line({300, 50});
    QVERIFY(line.open);
    for (int i = 0; i < 40; ++i) {
      QVERIFY(line.pty.write(QByteArray(1, char(i))));
      QTest::qWait(10);
    }
    QVERIFY(processUntil([&] {
      qint64 n = 0;
      for (const PortEvent &e : line.events) n += e.byteCount;
      return n == 40;
    }));
    QVERIFY2(line.events.size() >= 3, qPrintable(QString::number(line.events.size())));
  }

  // A megabyte of junk as fast as the line takes it: only the first bytes of
  // each burst are kept, and every byte is counted.
  void aMegabyteOfJunk() {
    Line line;
    QVERIFY(line.open);
    constexpr qint64 kTotal = 1 << 20;
    qint64 counted = 0, largestKept = 0;
    line.gatherer = std::make_unique<ReceiveBurstGatherer>(line.port, [&](const PortEvent &e) {
      counted += e.byteCount;
      largestKept = std::max<qint64>(largestKept, e.bytes.size());
    });
    std::thread writer([&] {
      QByteArray junk(4096, '\0');
      for (qint64 done = 0; done < kTotal; done += junk.size()) {
        for (int i = 0; i < junk.size(); ++i) junk[i] = static_cast<char>((done + i) * 131 % 251);
        if (!line.pty.write(junk)) return;
      }
    });
    const bool all = processUntil([&] { return counted == kTotal; }, 60000);
    writer.join();
    QVERIFY(all);
    QVERIFY(largestKept <= ReceiveBurstGatherer::kKeptBytes);
  }

  void closingDropsAnUnfinishedBurst() {
    Line line({200, 10000});
    QVERIFY(line.open);
    QVERIFY(line.pty.write(hex("1122C000")));
    QVERIFY(processUntil([&] { return line.gatherer->pendingByteCount() == 4; }));
    line.port.close();
    QTest::qWait(300);
    QVERIFY(line.events.isEmpty());
  }

  // The far end goes away: the burst before it comes first, then one event
  // says the device is gone, and no stream of errors follows.
  void deviceGone() {
    Line line({300, 10000});
    QVERIFY(line.open);
    QVERIFY(line.pty.write(hex("1122C000")));
    QVERIFY(processUntil([&] { return line.gatherer->pendingByteCount() == 4; }));
    line.pty.closeFarEnd();
    QVERIFY(processUntil([&] { return line.events.size() >= 2; }));
    QTest::qWait(200);
    QCOMPARE(line.events.size(), 2);
    QCOMPARE(line.events[0].bytes, hex("1122C000"));
    QCOMPARE(line.events[1].kind, PortEvent::Kind::Other);
    QVERIFY(line.events[1].deviceGone);
    // Opened again, the next loss is reported again.
    PseudoTerminal other;
    QVERIFY(vf::openSerialPort(line.port, 1, kKindRs232c, other.path()).open);
    other.closeFarEnd();
    QVERIFY(processUntil([&] { return line.events.size() == 3; }));
    QVERIFY(line.events[2].deviceGone);
  }

  void otherErrorsAreOtherEvents() {
    Line line;
    QVERIFY(line.open);
    QVERIFY(!line.port.setRequestToSend(true));  // a pseudo-terminal has no RTS line
    QVERIFY(!line.events.isEmpty());
    for (const PortEvent &e : line.events) {
      QCOMPARE(e.kind, PortEvent::Kind::Other);
      QVERIFY(!e.deviceGone);
    }
    const qsizetype before = line.events.size();
    QVERIFY(line.pty.write(hex("C0")));  // the line still works
    QVERIFY(processUntil([&] { return line.events.size() == before + 1; }));
    QCOMPARE(line.events.last().bytes, hex("C0"));
  }
};

QTEST_GUILESS_MAIN(ReceiveHandlingTest)
#include "tst_receive_handling.moc"
