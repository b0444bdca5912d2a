// The module's reading of the line: the encoder's messages come back as their
// text, every fault is reported, the cuts between pieces change nothing and
// memory stays bounded on any input.

#include "encoder/message_builder.h"
#include "protocol/control_command.h"
#include "protocol/module_decoder.h"
#include "tests/support/bytes.h"

#include <QTest>

#include <numeric>
#include <random>

using namespace vf;

namespace {

QByteArray command(CommandCode code, int parameter = 0) { return controlCommand(code, std::uint8_t(parameter)); }
const QByteArray kStart = command(CommandCode::MessageStart);
const QByteArray kA = hex("0206");  // あ

// A 262-byte packet: header, speed code SS 8B unless speedByte < 0, data, fill, checksum, end byte.
QByteArray packet(int frame, int speedByte, const QByteArray &data) {
  QByteArray p = QByteArray(1, '\0') + char(frame) + '\0';
  if (speedByte >= 0) p += QByteArray(1, char(speedByte)) + '\x8B';
  p += data;
  p += QByteArray(kPacketBodySize - p.size(), '\xFF');
  int sum = 0;
  for (char c : p) sum += static_cast<unsigned char>(c);
  return p + char(sum >> 8) + char(sum & 0xFF) + '\xEF';
}

QByteArray message(int frames, const QByteArray &packets) { return kStart + command(CommandCode::FrameCount, frames) + packets; }

// The events of a stream fed whole, or in pieces of 1 .. maxPiece bytes cut at random.
std::vector<ModuleEvent> decode(QByteArrayView stream, bool quiet = false, std::mt19937 *cuts = nullptr, int maxPiece = 700) {
  ModuleDecoder d;
  std::vector<ModuleEvent> events;
  for (qsizetype pos = 0; pos < stream.size();) {
    const qsizetype n = cuts ? std::uniform_int_distribution<qsizetype>(1, maxPiece)(*cuts) : stream.size();
    for (ModuleEvent &e : d.feed(stream.sliced(pos, std::min(n, stream.size() - pos)))) events.push_back(std::move(e));
    pos += n;
  }
  if (quiet)
    for (ModuleEvent &e : d.flush()) events.push_back(std::move(e));
  return events;
}

// One word an event: its kind with a packet's faults in brackets; a fault
// event is the name of its fault, a message summary its verdict, ok or bad.
QString summary(const std::vector<ModuleEvent> &events) {
  QStringList words;
  for (const ModuleEvent &e : events) {
    QStringList faults;
    for (const FaultReport &f : faultsOf(e)) faults << faultName(f.kind);
    QString word = eventKindName(e);
    if (e.is<decoded::Fault>()) word = faults.join(u',');
    else if (!faults.isEmpty()) word += u'[' + faults.join(u',') + u']';
    if (const auto *message = e.as<decoded::Message>()) word = message->ok ? "ok" : "bad";
    words << word;
  }
  return words.join(u' ');
}

qint64 bytesAccountedFor(const std::vector<ModuleEvent> &events) {
  return std::accumulate(events.begin(), events.end(), qint64(0), [](qint64 n, const ModuleEvent &e) { return n + e.length; });
}

int faultCount(const std::vector<ModuleEvent> &events) {
  return std::accumulate(events.begin(), events.end(), 0, [](int n, const ModuleEvent &e) { return n + int(faultsOf(e).size()); });
}

struct Case {
  const char *name;
  QByteArray stream;
  const char *events;
  bool quiet = false;  // the line goes quiet after the stream
};

std::vector<Case> faultCases() {
  const QByteArray p1 = packet(1, 0, kA);
  const QByteArray a = message(1, p1);
  const QByteArray two = message(2, p1 + packet(2, -1, kA));
  auto changed = [](QByteArray bytes, int index, char value) { return bytes.replace(index, 1, &value, 1); };
  return {
      {"clear, cue, update", hex("000014000014EF" "000018000018EF") + kUpdateCommand, "display-clear data-cue update"},
      {"commands with a wrong byte 5, 6, 7", hex("000014000115EF" "000014000015EF" "000014000014EE") + kUpdateCommand,
       "unexpected-bytes update"},
      {"unknown command", hex("00003000" "0030EF"), "unknown-command"},
      {"frame counts 0 and 17", message(0, message(17, {})), "message-start bad-parameter message-start bad-parameter"},
      {"checksum", changed(a, 14 + 260, 0), "message-start frame-count packet[bad-checksum] bad"},
      {"end byte", changed(a, a.size() - 1, '\xEE') + kUpdateCommand, "message-start frame-count packet[bad-end-byte] bad update"},
      {"fill", message(1, packet(1, 0, kA + "\xFF" "A")), "message-start frame-count packet[bad-fill] bad"},
      {"no speed code", message(1, packet(1, -1, kA)), "message-start frame-count packet[missing-speed-code] bad"},
      {"speed code, frame 2", message(2, p1 + packet(2, 1, kA)), "message-start frame-count packet packet[speed-code-outside-frame-1] bad"},
      {"odd data", message(1, packet(1, 0, kA + '\x02')), "message-start frame-count packet[odd-data-length] bad"},
      {"unknown codes, one report", message(1, packet(1, 0, hex("D40F").repeated(10))),
       "message-start frame-count packet[unknown-display-code] bad"},
      {"frames swapped", message(2, packet(2, -1, kA) + p1),
       "message-start frame-count packet[frame-out-of-order] bad packet[packet-without-frame-count]"},
      {"missing packets, new message", message(2, p1) + a, "message-start frame-count packet incomplete-message message-start frame-count packet ok"},
      {"missing packets, an update", message(2, p1) + kUpdateCommand, "message-start frame-count packet incomplete-message update"},
      {"frame count alone", a.mid(7), "frame-count frame-count-without-message-start packet bad"},
      {"a byte lost, then a packet", two.left(214) + two.mid(215), "message-start frame-count packet[packet-length] packet bad"},
      {"cut short, a command", message(1, p1.left(100)) + kUpdateCommand + a,
       "message-start frame-count packet[packet-length] bad update message-start frame-count packet ok"},
      {"a byte too many", a.left(200) + '\xFF' + a.mid(200) + kUpdateCommand,
       "message-start frame-count packet[bad-checksum,bad-end-byte] bad unexpected-bytes update"},
      {"quiet: packet cut short", message(1, p1.left(100)), "message-start frame-count packet[packet-length] bad", true},
      {"quiet: command cut short", hex("000014"), "unexpected-bytes", true},
      {"quiet: packets never came", message(2, p1), "message-start frame-count packet incomplete-message", true},
  };
}

}  // namespace

class DecoderTest : public QObject {
  Q_OBJECT
 private slots:
  // Messages back to back with updates in between, cut into random pieces.
  void roundTrip() {
    std::mt19937 rng(5336);
    static const QString pool = u"漢字亜院弌堯槇熙鑿龠丼腕錙檗泛÷あいうぁんアイヴーｱｶﾞﾊﾟｰﾞ～＼￥「」、。・※〒≒─∟AZaz09 !~\\`{}"_qs;
    QByteArray stream;
    QStringList sent, read;  // frames, packets received, speed and text of each message
    for (int i = 0; i < 150; ++i) {
      QString text = i == 0 ? u"鑿"_qs.repeated(2033) : QString();
      for (int n = std::uniform_int_distribution<int>(1, i % 10 ? 300 : 2033)(rng); i > 0 && n > 0; --n)
        text += pool[std::uniform_int_distribution<int>(0, pool.size() - 1)(rng)];
      const BuiltMessage m = buildMessage(text, 1 + i % 5);
      stream += joined(m.writes) + kUpdateCommand.repeated(i % 4);
      sent << QStringLiteral("%1 %1 %2 ok: %3").arg(m.frames.size()).arg(std::min(i % 5, 3)).arg(m.normalised.text);
    }
    QVERIFY(sent[0].startsWith("16 16 "));
    for (const ModuleEvent &e : decode(stream, false, &rng)) {
      QVERIFY(faultsOf(e).empty());
      if (const auto *m = e.as<decoded::Message>())
        read << QStringLiteral("%1 %2 %3 %4: %5").arg(m->frames).arg(m->received).arg(m->speed).arg(m->ok ? "ok" : "-", m->text);
    }
    QCOMPARE(read, sent);
  }

  void faults_data() {
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<bool>("quiet");
    QTest::addColumn<QString>("expected");
    for (const Case &c : faultCases()) QTest::newRow(c.name) << c.stream << c.quiet << QString(c.events);
  }
  void faults() {
    QFETCH(QByteArray, stream);
    QFETCH(bool, quiet);
    QFETCH(QString, expected);
    const std::vector<ModuleEvent> events = decode(stream, quiet);
    QCOMPARE(summary(events), expected);
    qint64 at = 0;  // where the next element starts
    for (const ModuleEvent &e : events) {
      if (e.length > 0) QCOMPARE(e.offset, at);
      at += e.length;
      for (const FaultReport &f : faultsOf(e))  // a short run of skipped bytes is shown whole
        QVERIFY2(!f.detail.isEmpty() && (f.kind != LineFault::UnexpectedBytes || e.length > 16 ||
                                         f.detail.endsWith(stream.mid(e.offset, e.length).toHex(' ').toUpper())), qPrintable(f.detail));
    }
    if (quiet) QCOMPARE(bytesAccountedFor(events), stream.size());  // every byte accounted for
    std::mt19937 cuts(262);  // the events do not depend on how the stream was cut into pieces
    QVERIFY(decode(stream, quiet, &cuts, 1) == events && decode(stream, quiet, &cuts, 40) == events);
  }

  // Any one byte of a message changed is reported (the message unchanged: roundTrip).
  void everyChangedByteIsReported() {
    std::mt19937 rng(60);
    const QByteArray clean = joined(buildMessage(u"漢字かなｶﾅABC"_qs.repeated(12), 3).writes) + kUpdateCommand;
    for (int round = 0; round < 3000; ++round) {
      QByteArray stream = clean;
      const int at = std::uniform_int_distribution<int>(0, int(stream.size()) - 1)(rng);
      const char was = stream[at];
      stream[at] = char(std::uniform_int_distribution<int>(0, 255)(rng));
      if (stream[at] == was) continue;
      const auto events = decode(stream, true);
      QVERIFY2(faultCount(events) > 0, qPrintable(QStringLiteral("byte %1: %2 -> %3 went unreported")
                                                      .arg(at).arg(uchar(was), 2, 16).arg(uchar(stream[at]), 2, 16)));
      QCOMPARE(bytesAccountedFor(events), stream.size());
    }
  }

  // Any amount of junk, noise or half-started elements: at most a packet and
  // a command are held, every byte is accounted for, and a message after it
  // is read as if nothing had happened.
  void boundedMemory() {
    std::mt19937 rng(4206);
    for (const QByteArray &pattern : {QByteArray(), QByteArray(1, '\0'), QByteArray("\0\1\0", 3), QByteArray("\0\0\x1C", 3)}) {
      ModuleDecoder d;
      qint64 total = 0, accounted = 0;
      QByteArray chunk(1 << 16, '\0');
      for (int round = 0; round < 32; ++round, total += chunk.size()) {  // 2 MB
        for (qsizetype i = 0; i < chunk.size(); ++i) chunk[i] = pattern.isEmpty() ? char(rng()) : pattern[i % pattern.size()];
        accounted += bytesAccountedFor(d.feed(chunk));
        QVERIFY(d.pendingBytes() <= ModuleDecoder::kLookahead);
      }
      QCOMPARE(accounted + bytesAccountedFor(d.flush()), total);
      QCOMPARE(summary(d.feed(message(1, packet(1, 0, kA)))), "message-start frame-count packet ok");
    }
  }
};

QTEST_APPLESS_MAIN(DecoderTest)
#include "tst_decoder.moc"
