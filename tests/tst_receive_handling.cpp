// Receive handling: the judge of one receive event, and the gathering of what
// a real pseudo-terminal delivers into bursts (pieces, gaps, endless streams,
// errors, a device that goes away).

#include "link/port_opening.h"
#include "link/receive_handling.h"
#include "settings/port_settings.h"
#include "tests/support/pseudo_terminal.h"

#include <QSerialPort>
#include <QtTest>

#include <atomic>
#include <functional>
#include <thread>

using vf::kKindRs232c;
using vf::kKindUsbConverter;
using vf::PortEvent;
using vf::ReceiveBurstGatherer;

namespace {

QByteArray bytesOf(std::initializer_list<int> values) {
  QByteArray b;
  for (const int v : values) b.append(static_cast<char>(v));
  return b;
}

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
  int receiveEvents() const {
    return static_cast<int>(std::count_if(events.begin(), events.end(),
                                          [](const PortEvent &e) { return e.kind == PortEvent::Kind::Receive; }));
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

  // Rows with no bytes only for the judge: nothing on the line makes no event.
  void addJudgeRows(bool withEmptyReads) {
    QTest::addColumn<int>("portKind");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("touchesText2");
    QTest::addColumn<QString>("text2");
    QTest::addColumn<bool>("cue");
    const int rs = kKindRs232c;
    const int usb = kKindUsbConverter;
    QTest::newRow("rs cue reply") << rs << bytesOf({0x11, 0x22, 0xC0, 0x00}) << true << "ﾀ" << true;
    QTest::newRow("rs single C0") << rs << bytesOf({0xC0}) << true << "" << false;
    QTest::newRow("rs three bytes") << rs << bytesOf({0x11, 0x22, 0xC0}) << true << "" << false;
    QTest::newRow("rs ta and A") << rs << bytesOf({0x11, 0x22, 0xC0, 0x41}) << true << "ﾀA" << false;
    QTest::newRow("rs cue reply and more") << rs << bytesOf({0x11, 0x22, 0xC0, 0x00, 0x33, 0x44}) << true << "ﾀ"
                                           << true;
    QTest::newRow("rs NUL first") << rs << bytesOf({0x11, 0x22, 0x00, 0xC0}) << true << "" << false;
    QTest::newRow("rs ta and blank") << rs << bytesOf({0x11, 0x22, 0xC0, 0x20}) << true << "ﾀ " << false;
    QTest::newRow("rs ka ta") << rs << bytesOf({0x11, 0x22, 0xB6, 0xC0}) << true << "ｶﾀ" << false;
    QTest::newRow("rs double-byte") << rs << bytesOf({0x11, 0x22, 0x82, 0xA0}) << true << "あ" << false;
    QTest::newRow("rs cue in bytes 1 and 2") << rs << bytesOf({0xC0, 0x00, 0x41, 0x42}) << true << "AB" << false;
    if (withEmptyReads) QTest::newRow("rs nothing read") << rs << QByteArray() << true << "" << false;
    QTest::newRow("usb C0") << usb << bytesOf({0xC0}) << false << "" << true;
    QTest::newRow("usb C0 and more") << usb << bytesOf({0xC0, 0x11, 0x22, 0x33, 0x44}) << false << "" << true;
    QTest::newRow("usb 11 C0") << usb << bytesOf({0x11, 0xC0}) << false << "" << false;
    QTest::newRow("usb rs form") << usb << bytesOf({0x11, 0x22, 0xC0, 0x00}) << false << "" << false;
    if (withEmptyReads) QTest::newRow("usb nothing read") << usb << QByteArray() << false << "" << false;
  }

 private slots:
  void judge_data() { addJudgeRows(true); }
  void judge() {
    QFETCH(int, portKind);
    QFETCH(QByteArray, bytes);
    QFETCH(bool, touchesText2);
    QFETCH(QString, text2);
    QFETCH(bool, cue);
    const vf::ReceiveVerdict verdict = vf::judgeReceivedBytes(bytes, portKind);
    QCOMPARE(verdict.text2.has_value(), touchesText2);
    if (touchesText2) QCOMPARE(*verdict.text2, text2);
    QCOMPARE(verdict.sendDataCue, cue);
  }

  // Every judged case again through a pseudo-terminal, its bytes arriving in
  // separate pieces: one byte at a time, and cut in two in the middle (a
  // single byte is one piece either way). Each gives one event and the
  // same verdict. The quiet time is generous so that the test does not depend
  // on how fast this machine is.
  void piecesMakeOneEvent_data() { addJudgeRows(false); }
  void piecesMakeOneEvent() {
    QFETCH(int, portKind);
    QFETCH(QByteArray, bytes);
    const vf::ReceiveVerdict whole = vf::judgeReceivedBytes(bytes, portKind);

    const QList<QList<QByteArray>> cuts = {
        [&] {
          QList<QByteArray> single;
          for (const char c : bytes) single.append(QByteArray(1, c));
          return single;
        }(),
        {bytes.left(bytes.size() / 2), bytes.mid(bytes.size() / 2)},
    };
    for (const QList<QByteArray> &pieces : cuts) {
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
      const PortEvent &e = line.events.first();
      QCOMPARE(e.kind, PortEvent::Kind::Receive);
      QCOMPARE(e.bytes, bytes);
      QCOMPARE(e.byteCount, bytes.size());
      const vf::ReceiveVerdict gathered = vf::judgeReceivedBytes(e.bytes, portKind);
      QCOMPARE(gathered.text2, whole.text2);
      QCOMPARE(gathered.sendDataCue, whole.sendDataCue);
    }
  }

  void aQuietLineEndsTheBurst() {
    Line line;
    QVERIFY(line.open);
    QVERIFY(line.pty.write(bytesOf({0x11, 0x22, 0xC0, 0x00})));
    QVERIFY(processUntil([&] { return line.events.size() == 1; }));
    QVERIFY(line.pty.write(bytesOf({0xC0})));
    QVERIFY(processUntil([&] { return line.events.size() == 2; }));
    QCOMPARE(line.events[0].bytes, bytesOf({0x11, 0x22, 0xC0, 0x00}));
    QCOMPARE(line.events[1].bytes, bytesOf({0xC0}));
    QCOMPARE(line.gatherer->pendingByteCount(), 0);
  }

  // Bytes that never pause for the quiet time still give events.
  void aStreamWithoutPausesIsCut() {
    Line line({300, 50});
    QVERIFY(line.open);
    QByteArray sent;
    for (int i = 0; i < 40; ++i) {
      sent.append(static_cast<char>(i));
      QVERIFY(line.pty.write(sent.right(1)));
      QTest::qWait(10);
    }
    QVERIFY(processUntil([&] {
      qint64 n = 0;
      for (const PortEvent &e : line.events) n += e.byteCount;
      return n == sent.size();
    }));
    QVERIFY2(line.events.size() >= 3, qPrintable(QString::number(line.events.size())));
  }

  // A megabyte of junk as fast as the line takes it: only the first bytes of
  // each burst are kept, every byte is counted, and other events are handled
  // while the stream runs.
  void aMegabyteOfJunk() {
    Line line;
    QVERIFY(line.open);
    constexpr qint64 kTotal = 1 << 20;
    std::atomic<qint64> countedAtPing{-1};
    qint64 counted = 0;
    qint64 largestKept = 0;
    line.gatherer = std::make_unique<ReceiveBurstGatherer>(line.port, [&](const PortEvent &e) {
      QCOMPARE(e.kind, PortEvent::Kind::Receive);
      counted += e.byteCount;
      largestKept = std::max<qint64>(largestKept, e.bytes.size());
    });
    QObject context;
    std::thread writer([&] {
      QByteArray junk(4096, '\0');
      for (qint64 done = 0; done < kTotal; done += junk.size()) {
        for (int i = 0; i < junk.size(); ++i) junk[i] = static_cast<char>((done + i) * 131 % 251);
        if (!line.pty.write(junk)) return;
        if (done == kTotal / 2) {
          QMetaObject::invokeMethod(&context, [&] { countedAtPing = counted + line.gatherer->pendingByteCount(); },
                                    Qt::QueuedConnection);
        }
      }
    });
    const bool all = processUntil([&] { return counted == kTotal; }, 60000);
    writer.join();
    QVERIFY(all);
    QCOMPARE(counted, kTotal);
    QVERIFY(largestKept <= ReceiveBurstGatherer::kKeptBytes);
    QCOMPARE(line.port.bytesAvailable(), qint64(0));
    // The event posted half-way was handled before the stream had been read.
    QVERIFY(countedAtPing >= 0);
    QVERIFY2(countedAtPing < kTotal, qPrintable(QString::number(countedAtPing)));
  }

  void closingDropsAnUnfinishedBurst() {
    Line line({200, 10000});
    QVERIFY(line.open);
    QVERIFY(line.pty.write(bytesOf({0x11, 0x22, 0xC0, 0x00})));
    QVERIFY(processUntil([&] { return line.gatherer->pendingByteCount() == 4; }));
    line.port.close();
    QCOMPARE(line.gatherer->pendingByteCount(), 0);
    QTest::qWait(300);
    QVERIFY(line.events.isEmpty());
  }

  // The far end goes away: one event says the device is gone, no endless
  // stream of errors follows.
  void deviceGone() {
    Line line;
    QVERIFY(line.open);
    line.pty.closeFarEnd();
    QVERIFY(processUntil([&] { return !line.events.isEmpty(); }));
    QTest::qWait(200);
    QCOMPARE(line.events.size(), 1);
    QCOMPARE(line.events.first().kind, PortEvent::Kind::Other);
    QVERIFY(line.events.first().deviceGone);
    // Once the port has been opened again (the opening sequence closes it
    // first), the next loss is reported again.
    PseudoTerminal other;
    QVERIFY(vf::openSerialPort(line.port, 1, kKindRs232c, other.path()).open);
    other.closeFarEnd();
    QVERIFY(processUntil([&] { return line.events.size() == 2; }));
    QVERIFY(line.events[1].deviceGone);
    line.port.close();  // the handler's part: closing stops the port's own error loop
    QTest::qWait(100);
    QCOMPARE(line.events.size(), 2);
  }

  // Bytes that arrived before the device went away come first, as a burst.
  void burstBeforeError() {
    Line line({300, 10000});
    QVERIFY(line.open);
    QVERIFY(line.pty.write(bytesOf({0x11, 0x22, 0xC0, 0x00})));
    QVERIFY(processUntil([&] { return line.gatherer->pendingByteCount() == 4; }));
    line.pty.closeFarEnd();
    QVERIFY(processUntil([&] { return line.events.size() >= 2; }));
    QCOMPARE(line.events[0].kind, PortEvent::Kind::Receive);
    QCOMPARE(line.events[0].bytes, bytesOf({0x11, 0x22, 0xC0, 0x00}));
    QVERIFY(line.events[1].deviceGone);
  }

  void otherErrorsAreOtherEvents() {
    Line line;
    QVERIFY(line.open);
    // A port error that is not the device going away: the pseudo-terminal
    // has no RTS line to set.
    QVERIFY(!line.port.setRequestToSend(true));
    QVERIFY(!line.events.isEmpty());
    for (const PortEvent &e : line.events) {
      QCOMPARE(e.kind, PortEvent::Kind::Other);
      QCOMPARE(e.error, QSerialPort::UnsupportedOperationError);
      QVERIFY(!e.deviceGone);
    }
    // The line still works and its bytes are still gathered.
    const qsizetype before = line.events.size();
    QVERIFY(line.pty.write(bytesOf({0xC0})));
    QVERIFY(processUntil([&] { return line.events.size() == before + 1; }));
    QCOMPARE(line.events.last().kind, PortEvent::Kind::Receive);
    QCOMPARE(line.events.last().bytes, bytesOf({0xC0}));
  }
};

QTEST_GUILESS_MAIN(ReceiveHandlingTest)
#include "tst_receive_handling.moc"
