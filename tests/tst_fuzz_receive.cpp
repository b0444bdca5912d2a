// Seeded random bytes from the module's side of the line: the judge of one
// receive event against what each kind of connection must answer, and the
// gathering of a real pseudo-terminal's bytes into receive events, with
// replies cut into random pieces and a long random stream with random pauses.

#include "link/port_opening.h"
#include "link/receive_handling.h"
#include "settings/port_settings.h"
#include "tests/support/fuzz.h"
#include "tests/support/pseudo_terminal.h"

#include <QSerialPort>
#include <QtTest>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <thread>

using vf::kKindRs232c;
using vf::kKindUsbConverter;
using vf::PortEvent;
using vf::ReceiveBurstGatherer;

namespace {

// Bytes a reply is likely to hold: the cue byte, NUL, lead bytes of code page 932.
const QByteArray kFavoured = QByteArray::fromHex("C0C0000000828188A0");

bool processUntil(const std::function<bool()> &condition, int timeoutMs = 20000) {
  QDeadlineTimer deadline(timeoutMs);
  while (!condition()) {
    if (deadline.hasExpired()) return false;
    QTest::qWait(1);
  }
  return true;
}

// The character of a single-byte code of code page 932, or none: ASCII, and
// the half-width katakana from U+FF61 on.
std::optional<QChar> singleByteCharacter(unsigned char b) {
  if (b >= 0x01 && b <= 0x7F) return QChar(b);
  if (b >= 0xA1 && b <= 0xDF) return QChar(0xFF61 + (b - 0xA1));
  return std::nullopt;
}

bool sameVerdict(const vf::ReceiveVerdict &a, const vf::ReceiveVerdict &b) {
  return a.text2 == b.text2 && a.sendDataCue == b.sendDataCue;
}

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

class FuzzReceiveTest : public QObject {
  Q_OBJECT
 private slots:
  void judgeRandomEvents() {
    fuzz::Rng rng(1920);
    int rsCues = 0, usbCues = 0, rsOneCharacter = 0;
    for (int round = 0; round < 20000; ++round) {
      const QByteArray bytes = fuzz::bytes(rng, fuzz::between(rng, 0, 12), kFavoured, 0.5);
      const QString where = QStringLiteral("round %1: %2").arg(round).arg(QString::fromLatin1(bytes.toHex(' ')));

      // USB変換: the first byte alone decides; Text2 is never touched.
      const vf::ReceiveVerdict usb = vf::judgeReceivedBytes(bytes, kKindUsbConverter);
      QVERIFY2(!usb.text2.has_value(), qPrintable(where));
      QVERIFY2(usb.sendDataCue == (!bytes.isEmpty() && static_cast<unsigned char>(bytes[0]) == 0xC0), qPrintable(where));
      usbCues += usb.sendDataCue;

      // RS-232C: Text2 is always set, to bytes 3 and 4 up to the first NUL.
      const vf::ReceiveVerdict rs = vf::judgeReceivedBytes(bytes, kKindRs232c);
      QVERIFY2(rs.text2.has_value(), qPrintable(where));
      const QString text2 = *rs.text2;
      QVERIFY2(text2.size() <= 2 && !text2.contains(QChar(0)), qPrintable(where));
      if (bytes.size() < 4) {
        QVERIFY2(text2.isEmpty() && !rs.sendDataCue, qPrintable(where));
        continue;
      }
      const auto third = static_cast<unsigned char>(bytes[2]);
      const auto fourth = static_cast<unsigned char>(bytes[3]);
      QVERIFY2(rs.sendDataCue == (third == 0xC0 && fourth == 0x00), qPrintable(where));
      rsCues += rs.sendDataCue;
      if (third == 0x00) QVERIFY2(text2.isEmpty(), qPrintable(where));
      if (const std::optional<QChar> first = singleByteCharacter(third)) {
        QVERIFY2(!text2.isEmpty() && text2.front() == *first, qPrintable(where));
        if (fourth == 0x00) {
          QVERIFY2(text2.size() == 1, qPrintable(where));
          ++rsOneCharacter;
        }
      }
      // Nothing after byte 4 counts.
      QVERIFY2(sameVerdict(rs, vf::judgeReceivedBytes(bytes.left(4), kKindRs232c)), qPrintable(where));
    }
    // The generator reached the interesting cases.
    QVERIFY(rsCues > 50);
    QVERIFY(usbCues > 500);
    QVERIFY(rsOneCharacter > 200);
  }

  // Replies of random bytes, each written in random pieces as the port takes
  // them: each is one receive event holding its first bytes and its count,
  // judged as the whole reply would be. The quiet time that ends a burst is
  // long here, so that it does not depend on how fast this machine is.
  void repliesInRandomPieces() {
    fuzz::Rng rng(2024);
    Line line({300, 600000});
    QVERIFY(line.open);
    constexpr int kReplies = 20;
    for (int r = 0; r < kReplies; ++r) {
      QByteArray reply = fuzz::bytes(rng, fuzz::between(rng, 1, 40), kFavoured, 0.3);
      switch (r % 3) {
        case 0: reply.replace(0, std::min<qsizetype>(4, reply.size()), QByteArray::fromHex("0000C000")); break;
        case 1: reply[0] = '\xC0'; break;
        default: break;
      }
      const QString where = QStringLiteral("reply %1: %2").arg(r).arg(QString::fromLatin1(reply.toHex(' ')));
      const qsizetype before = line.events.size();
      qint64 sent = 0;
      for (const QByteArray &piece : fuzz::cut(rng, reply)) {
        QVERIFY(line.pty.write(piece));
        sent += piece.size();
        QVERIFY2(processUntil([&] { return line.gatherer->pendingByteCount() == sent || line.events.size() > before; }),
                 qPrintable(where));
      }
      QVERIFY2(processUntil([&] { return line.events.size() > before; }), qPrintable(where));
      QCOMPARE(line.events.size(), before + 1);
      const PortEvent &e = line.events.last();
      QCOMPARE(e.kind, PortEvent::Kind::Receive);
      QVERIFY2(e.bytes == reply.left(ReceiveBurstGatherer::kKeptBytes), qPrintable(where));
      QCOMPARE(e.byteCount, reply.size());
      for (const int kind : {kKindRs232c, kKindUsbConverter}) {
        QVERIFY2(sameVerdict(vf::judgeReceivedBytes(e.bytes, kind), vf::judgeReceivedBytes(reply, kind)),
                 qPrintable(where));
      }
    }
    QCOMPARE(line.gatherer->pendingByteCount(), 0);
  }

  // A long random stream in random chunks with random pauses, as fast as the
  // line takes it: every byte is counted once, in order; each event keeps the
  // first bytes of exactly its part of the stream, and judging those gives
  // the verdict the whole part would give.
  void aRandomStreamWithPauses() {
    fuzz::Rng rng(16);
    const QByteArray stream = fuzz::bytes(rng, 1 << 18, kFavoured, 0.2);
    struct Chunk {
      qsizetype from, size;
      int pauseMs;
    };
    std::vector<Chunk> chunks;
    for (qsizetype pos = 0; pos < stream.size();) {
      const qsizetype n = std::min<qsizetype>(fuzz::between(rng, 1, 4096), stream.size() - pos);
      chunks.push_back({pos, n, fuzz::chance(rng, 0.02) ? fuzz::between(rng, 1, 12) : 0});
      pos += n;
    }

    Line line;
    QVERIFY(line.open);
    std::atomic<bool> written{true};
    std::thread writer([&] {
      for (const Chunk &c : chunks) {
        if (!line.pty.write(stream.mid(c.from, c.size))) {
          written = false;
          return;
        }
        if (c.pauseMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(c.pauseMs));
      }
    });
    qint64 counted = 0;
    const bool all = processUntil([&] {
      counted = 0;
      for (const PortEvent &e : line.events) counted += e.byteCount;
      return counted >= stream.size();
    }, 120000);
    writer.join();
    QVERIFY(written);
    QVERIFY(all);
    QCOMPARE(counted, stream.size());

    qsizetype offset = 0;
    for (int i = 0; i < line.events.size(); ++i) {
      const PortEvent &e = line.events[i];
      const QString where = QStringLiteral("event %1 at %2").arg(i).arg(offset);
      QCOMPARE(e.kind, PortEvent::Kind::Receive);
      QVERIFY2(e.byteCount > 0, qPrintable(where));
      const QByteArray part = stream.mid(offset, e.byteCount);
      QVERIFY2(e.bytes == part.left(ReceiveBurstGatherer::kKeptBytes), qPrintable(where));
      for (const int kind : {kKindRs232c, kKindUsbConverter})
        QVERIFY2(sameVerdict(vf::judgeReceivedBytes(e.bytes, kind), vf::judgeReceivedBytes(part, kind)), qPrintable(where));
      offset += e.byteCount;
    }
    QVERIFY2(line.events.size() > 1, "the pauses and the longest burst time cut the stream");
  }
};

QTEST_GUILESS_MAIN(FuzzReceiveTest)
#include "tst_fuzz_receive.moc"
