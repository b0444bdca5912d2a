// Seeded random streams into the virtual module's line decoder: pure noise,
// noise made of the bytes the decoder looks for, and real messages and
// commands mangled in every way. Whatever arrives and however it is cut:
//   - the events are the same as for the stream fed whole;
//   - the elements the decoder recognises (commands, packets, skipped runs)
//     cover the stream exactly, in order, without gap or overlap;
//   - no more than a packet and a command are ever held;
//   - a single changed, added or lost byte in a clean stream is reported;
//   - junk between whole elements is reported and costs none of them.

#include "encoder/convert_and_send.h"
#include "link/control_command.h"
#include "link/module_decoder.h"
#include "tests/support/fuzz.h"

#include <QtTest>

using namespace vf;
using Kind = ModuleEvent::Kind;

namespace {

// Bytes that steer the decoder: command starts and codes, frame numbers, the
// end, fill and speed bytes.
const QByteArray kFavoured = QByteArray::fromHex("0000000001020F10EFEFFF8B04141C1825");

QString randomText(fuzz::Rng &rng) {
  static const QString pool = QStringLiteral(
      "漢字亜院弌堯槇熙鑿龠丼腕あいうぁんアイヴーｱｶﾞﾊﾟｰﾞ①㈱～＼￥「」、。・※〒≒─AZaz09 !~\r\n");
  const int length = fuzz::chance(rng, 0.1) ? fuzz::between(rng, 1000, 2033) : fuzz::between(rng, 1, 300);
  QString text;
  for (int i = 0; i < length; ++i) text += pool[fuzz::between(rng, 0, static_cast<int>(pool.size()) - 1)];
  return text;
}

QByteArray messageOf(const QString &text, int speedOption) {
  QByteArray all;
  for (const QByteArray &w : runConvertAndSend({text, speedOption, false}).writes) all += w;
  return all;
}

// One whole element the program sends: a message or a lone command.
QByteArray randomElement(fuzz::Rng &rng) {
  switch (fuzz::between(rng, 0, 5)) {
    case 0: return controlCommand(CommandCode::Update);
    case 1: return controlCommand(CommandCode::DisplayClear);
    case 2: return controlCommand(CommandCode::DataCue);
    default: return messageOf(randomText(rng), fuzz::between(rng, 1, 5));
  }
}

// A run of junk that contains no 00, so it can start nothing.
QByteArray junk(fuzz::Rng &rng) {
  QByteArray j = fuzz::bytes(rng, fuzz::between(rng, 1, 40), "\xEF\xFF\x8B\x01\x25", 0.3);
  for (char &b : j)
    if (b == 0) b = '\x01';
  return j;
}

struct Decoded {
  std::vector<ModuleEvent> events;
  qsizetype mostHeld = 0;
};

Decoded decodeInPieces(const QList<QByteArray> &pieces) {
  ModuleDecoder d;
  Decoded out;
  for (const QByteArray &piece : pieces) {
    for (ModuleEvent &e : d.feed(piece)) out.events.push_back(std::move(e));
    out.mostHeld = std::max(out.mostHeld, d.pendingBytes());
  }
  for (ModuleEvent &e : d.flush()) out.events.push_back(std::move(e));
  return out;
}

std::vector<ModuleEvent> decodeWhole(const QByteArray &stream) { return decodeInPieces({stream}).events; }

int faultCount(const std::vector<ModuleEvent> &events) {
  int n = 0;
  for (const ModuleEvent &e : events) n += static_cast<int>(e.faults.size());
  return n;
}

// What must hold for the events of any stream. Returns what is wrong, or
// nothing.
QString checkEvents(const std::vector<ModuleEvent> &events, qsizetype streamSize) {
  qint64 covered = 0;
  for (const ModuleEvent &e : events) {
    if (e.length > 0) {
      // Elements come in stream order and leave no gap.
      if (e.offset != covered) return QStringLiteral("element at %1, expected at %2").arg(e.offset).arg(covered);
      covered += e.length;
    }
    switch (e.kind) {
      case Kind::Fault:
        if (e.faults.size() != 1) return QStringLiteral("a fault event with %1 faults").arg(e.faults.size());
        break;
      case Kind::Packet:
        if (e.ok != e.faults.empty()) return QStringLiteral("packet at %1: ok does not match its faults").arg(e.offset);
        if (e.frame < 1 || e.frame > kMaxFrames) return QStringLiteral("packet with frame %1").arg(e.frame);
        if (e.length < 3 || e.length > kPacketSize) return QStringLiteral("packet of %1 bytes").arg(e.length);
        if (e.length == kPacketSize && e.text.size() > kLaterFrameDataBytes / 2)
          return QStringLiteral("packet with %1 characters").arg(e.text.size());
        break;
      case Kind::Message:
        if (e.ok && (e.received != e.frames || !e.faults.empty()))
          return QStringLiteral("message at %1 ok with %2 of %3 packets").arg(e.offset).arg(e.received).arg(e.frames);
        break;
      case Kind::MessageStart:
      case Kind::FrameCount:
      case Kind::DisplayClear:
      case Kind::DataCue:
      case Kind::Update:
        if (e.length != kControlCommandSize) return QStringLiteral("a command of %1 bytes").arg(e.length);
        break;
    }
  }
  if (covered != streamSize) return QStringLiteral("elements cover %1 of %2 bytes").arg(covered).arg(streamSize);
  return {};
}

QString describe(const ModuleEvent &e) {
  QString text = QStringLiteral("kind %1 at %2, %3 bytes, frame %4").arg(int(e.kind)).arg(e.offset).arg(e.length).arg(e.frame);
  for (const FaultReport &f : e.faults) text += QStringLiteral("; %1: %2").arg(faultName(f.kind), f.detail);
  return text;
}

// Where two lists of events part, for the failure message.
QString firstDifference(const std::vector<ModuleEvent> &a, const std::vector<ModuleEvent> &b) {
  for (std::size_t i = 0; i < std::max(a.size(), b.size()); ++i) {
    if (i < a.size() && i < b.size() && a[i] == b[i]) continue;
    return QStringLiteral("event %1: [%2] instead of [%3]")
        .arg(i)
        .arg(i < a.size() ? describe(a[i]) : QStringLiteral("none"), i < b.size() ? describe(b[i]) : QStringLiteral("none"));
  }
  return {};
}

// Decodes the stream whole and cut three ways; everything above must hold.
void checkStream(fuzz::Rng &rng, const QByteArray &stream, const QString &where) {
  const std::vector<ModuleEvent> whole = decodeWhole(stream);
  const QString wrong = checkEvents(whole, stream.size());
  QVERIFY2(wrong.isEmpty(), qPrintable(where + QStringLiteral(": ") + wrong));
  for (int i = 0; i < 3; ++i) {
    const Decoded cut = decodeInPieces(fuzz::cut(rng, stream));
    QVERIFY2(cut.events == whole,
             qPrintable(where + QStringLiteral(": cut %1 gives other events: ").arg(i) + firstDifference(cut.events, whole)));
    QVERIFY2(cut.mostHeld <= ModuleDecoder::kLookahead, qPrintable(where));
  }
}

}  // namespace

class FuzzModuleDecoderTest : public QObject {
  Q_OBJECT
 private slots:
  void noise() {
    fuzz::Rng rng(3360);
    for (int round = 0; round < 400; ++round) {
      const int size = fuzz::between(rng, 0, fuzz::chance(rng, 0.2) ? 6000 : 600);
      const double share = round % 4 * 0.3;  // 0 .. 0.9 of the steering bytes
      checkStream(rng, fuzz::bytes(rng, size, kFavoured, share), QStringLiteral("noise %1").arg(round));
      if (QTest::currentTestFailed()) return;
    }
  }

  // Real traffic mangled: bytes changed, added, lost, runs repeated, moved
  // or cut off.
  void mangledTraffic() {
    fuzz::Rng rng(262);
    for (int round = 0; round < 300; ++round) {
      QByteArray stream;
      for (int n = fuzz::between(rng, 1, 6); n > 0; --n) stream += randomElement(rng);
      for (int n = fuzz::between(rng, 1, 8); n > 0 && !stream.isEmpty(); --n) {
        const int at = fuzz::between(rng, 0, static_cast<int>(stream.size()) - 1);
        const int len = fuzz::between(rng, 1, 300);
        switch (fuzz::between(rng, 0, 5)) {
          case 0: stream[at] = static_cast<char>(fuzz::between(rng, 0, 255)); break;
          case 1: stream.insert(at, fuzz::bytes(rng, fuzz::between(rng, 1, 8), kFavoured)); break;
          case 2: stream.remove(at, fuzz::between(rng, 1, 8)); break;
          case 3: stream.insert(at, stream.mid(fuzz::between(rng, 0, static_cast<int>(stream.size()) - 1), len)); break;
          case 4: {
            const QByteArray moved = stream.mid(at, len);
            stream.remove(at, len);
            stream.insert(fuzz::between(rng, 0, static_cast<int>(stream.size())), moved);
            break;
          }
          default: stream.truncate(at); break;
        }
      }
      checkStream(rng, stream, QStringLiteral("mangled %1").arg(round));
      if (QTest::currentTestFailed()) return;
    }
  }

  // One byte changed, added or lost anywhere in clean traffic never goes
  // unreported.
  void everySingleByteFaultIsReported() {
    fuzz::Rng rng(19200);
    int changes = 0;
    for (int round = 0; round < 60; ++round) {
      QByteArray clean;
      for (int n = fuzz::between(rng, 1, 4); n > 0; --n) clean += randomElement(rng);
      QCOMPARE(faultCount(decodeWhole(clean)), 0);
      for (int i = 0; i < 40; ++i) {
        QByteArray stream = clean;
        const int at = fuzz::between(rng, 0, static_cast<int>(clean.size()) - 1);
        QString what;
        switch (fuzz::between(rng, 0, 2)) {
          case 0: {
            char b = static_cast<char>(fuzz::between(rng, 0, 255));
            if (b == stream[at]) b = static_cast<char>(~b);
            stream[at] = b;
            what = QStringLiteral("byte %1 changed").arg(at);
            break;
          }
          case 1:
            stream.insert(fuzz::between(rng, 0, static_cast<int>(clean.size())),
                          static_cast<char>(fuzz::chance(rng, 0.5) ? 0 : fuzz::between(rng, 0, 255)));
            what = QStringLiteral("a byte added");
            break;
          default:
            stream.remove(at, 1);
            what = QStringLiteral("byte %1 lost").arg(at);
            break;
        }
        const QString where = QStringLiteral("round %1: %2").arg(round).arg(what);
        const std::vector<ModuleEvent> events = decodeWhole(stream);
        QVERIFY2(faultCount(events) > 0, qPrintable(where + QStringLiteral(" went unreported")));
        QVERIFY2(checkEvents(events, stream.size()).isEmpty(), qPrintable(where));
        ++changes;
      }
    }
    QCOMPARE(changes, 60 * 40);
  }

  // Junk between whole elements is reported once per run, and every element
  // around it is read exactly as without the junk.
  void junkBetweenElements() {
    fuzz::Rng rng(4206);
    for (int round = 0; round < 150; ++round) {
      QByteArray clean, noisy;
      int junkRuns = 0;
      for (int n = fuzz::between(rng, 1, 6); n > 0; --n) {
        if (fuzz::chance(rng, 0.6)) {
          noisy += junk(rng);
          ++junkRuns;
        }
        const QByteArray element = randomElement(rng);
        clean += element;
        noisy += element;
      }
      if (fuzz::chance(rng, 0.5)) {
        noisy += junk(rng);
        ++junkRuns;
      }
      const QString where = QStringLiteral("round %1").arg(round);
      checkStream(rng, noisy, where);
      if (QTest::currentTestFailed()) return;

      std::vector<ModuleEvent> expected = decodeWhole(clean);
      QCOMPARE(faultCount(expected), 0);
      std::vector<ModuleEvent> found;
      int skipped = 0;
      for (ModuleEvent e : decodeWhole(noisy)) {
        if (e.kind == Kind::Fault) {
          QCOMPARE(e.faults.front().kind, LineFault::UnexpectedBytes);
          ++skipped;
          continue;
        }
        found.push_back(std::move(e));
      }
      QCOMPARE(skipped, junkRuns);
      QCOMPARE(found.size(), expected.size());
      for (std::size_t i = 0; i < found.size(); ++i) {
        found[i].offset = expected[i].offset;  // shifted by the junk
        QVERIFY2(found[i] == expected[i], qPrintable(where + QStringLiteral(": event %1 differs").arg(i)));
      }
    }
  }
};

QTEST_APPLESS_MAIN(FuzzModuleDecoderTest)
#include "tst_fuzz_module_decoder.moc"
