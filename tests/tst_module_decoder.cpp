// The module's reading of the line: whole messages from the encoder come back
// as their text, every kind of fault is reported, the way the stream is cut
// into pieces changes nothing, and memory stays bounded on any input.

#include "encoder/convert_and_send.h"
#include "link/control_command.h"
#include "link/module_decoder.h"

#include <QtTest>

#include <random>

using namespace vf;

namespace {

using Kind = ModuleEvent::Kind;

QByteArray messageOf(const QString &text, int speedOption = 1) {
  const ConvertRunResult r = runConvertAndSend({text, speedOption, false});
  QByteArray all;
  for (const QByteArray &w : r.writes) all += w;
  return all;
}

QByteArray command(CommandCode code, std::uint8_t parameter = 0) { return controlCommand(code, parameter); }
const QByteArray kStart = command(CommandCode::MessageStart);
const QByteArray kUpdate = command(CommandCode::Update);
QByteArray countOf(int frames) { return command(CommandCode::FrameCount, static_cast<std::uint8_t>(frames)); }

QByteArray withChecksum(QByteArray p) {
  int sum = 0;
  for (int i = 0; i < kPacketBodySize; ++i) sum += static_cast<unsigned char>(p[i]);
  p[259] = static_cast<char>(sum >> 8 & 0xFF);
  p[260] = static_cast<char>(sum & 0xFF);
  return p;
}

// A 262-byte packet with the given speed byte (frame 1, or -1 for none), the
// given data bytes, fill and a correct checksum.
QByteArray packet(int frame, int speedByte, const QByteArray &data) {
  QByteArray p;
  p += '\0';
  p += static_cast<char>(frame);
  p += '\0';
  if (speedByte >= 0) {
    p += static_cast<char>(speedByte);
    p += '\x8B';
  }
  p += data;
  p += QByteArray(kPacketBodySize - p.size(), '\xFF');
  p += QByteArray(2, '\0');
  p += '\xEF';
  return withChecksum(p);
}

const QByteArray kA = QByteArray::fromHex("0206");  // あ

std::vector<ModuleEvent> decode(const QByteArray &stream, bool flush = false) {
  ModuleDecoder d;
  std::vector<ModuleEvent> events = d.feed(stream);
  if (flush) {
    const std::vector<ModuleEvent> rest = d.flush();
    events.insert(events.end(), rest.begin(), rest.end());
  }
  return events;
}

QString kindsOf(const std::vector<ModuleEvent> &events) {
  QStringList names;
  for (const ModuleEvent &e : events) {
    switch (e.kind) {
      case Kind::MessageStart: names << "start"; break;
      case Kind::FrameCount: names << "count"; break;
      case Kind::Packet: names << "packet"; break;
      case Kind::DisplayClear: names << "clear"; break;
      case Kind::DataCue: names << "cue"; break;
      case Kind::Update: names << "update"; break;
      case Kind::Message: names << "message"; break;
      case Kind::Fault: names << "fault"; break;
    }
  }
  return names.join(u' ');
}

QString faultsOf(const std::vector<ModuleEvent> &events) {
  QStringList names;
  for (const ModuleEvent &e : events)
    for (const FaultReport &f : e.faults) names << faultName(f.kind);
  return names.join(u' ');
}

const ModuleEvent *lastOf(const std::vector<ModuleEvent> &events, Kind kind) {
  for (auto it = events.rbegin(); it != events.rend(); ++it)
    if (it->kind == kind) return &*it;
  return nullptr;
}

// What the module shows for the normalised text: line ends as the full-width
// blank, the special characters of row 13 as their twins of row 5.
QString readBack(const QString &normalised) {
  QString out = normalised;
  for (QChar &ch : out) {
    if (ch == u'\r' || ch == u'\n') ch = QChar(0x3000);
    else if (ch == u'①') ch = u'ァ';
    else if (ch == u'㈱') ch = u'リ';
  }
  return out;
}

QString randomText(std::mt19937 &rng, int maxLength) {
  static const QString pool = QStringLiteral(
      "漢字亜院弌堯槇熙鑿龠丼腕錙あいうぁんアイヴーｱｶﾞﾊﾟｰﾞ①㈱～＼￥「」、。・※〒≒─∟AZaz09 !~\\`{}\r\n");
  const int length = std::uniform_int_distribution<int>(1, maxLength)(rng);
  QString text;
  for (int i = 0; i < length; ++i) text += pool[std::uniform_int_distribution<int>(0, pool.size() - 1)(rng)];
  return text;
}

qint64 bytesAccountedFor(const std::vector<ModuleEvent> &events) {
  qint64 sum = 0;
  for (const ModuleEvent &e : events) sum += e.length;
  return sum;
}

}  // namespace

class ModuleDecoderTest : public QObject {
  Q_OBJECT
 private slots:
  void workedExample() {
    const std::vector<ModuleEvent> events = decode(messageOf(QStringLiteral("あ")));
    QCOMPARE(kindsOf(events), "start count packet message");
    QCOMPARE(events[0].offset, 0);
    QCOMPARE(events[1].offset, 7);
    QCOMPARE(events[1].frames, 1);
    const ModuleEvent &p = events[2];
    QCOMPARE(p.offset, 14);
    QCOMPARE(p.frame, 1);
    QCOMPARE(p.length, 262);
    QCOMPARE(p.speed, 0);
    QVERIFY(p.checksumOk);
    QVERIFY(p.ok);
    QVERIFY(p.faults.empty());
    const QString text = QStringLiteral("あ") + QString(14, QChar(0x3000));
    QCOMPARE(p.text, text);
    const ModuleEvent &m = events[3];
    QCOMPARE(m.offset, 0);
    QCOMPARE(m.frames, 1);
    QCOMPARE(m.received, 1);
    QCOMPARE(m.speed, 0);
    QVERIFY(m.ok);
    QCOMPARE(m.text, text);
  }

  void roundTrip_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("speedOption");
    QTest::addColumn<int>("frames");
    QTest::newRow("kanji of both levels") << "漢字の第一水準と第二水準：弌堯槇熙鑿龠" << 1 << 1;
    QTest::newRow("kana") << "ひらがな カタカナ ｶﾀｶﾅ ｶﾞｷﾞｸﾞ ヴ" << 2 << 1;
    QTest::newRow("ascii") << "VF3360 Hello, World! ~{}[]\\|`" << 3 << 1;
    QTest::newRow("symbols") << "「」『』【】〒※→←↑↓○●◎△▲□■◇◆─│┌┐" << 4 << 1;
    QTest::newRow("line ends") << "一行目\r\n二行目\n三行目\r" << 5 << 1;
    QTest::newRow("127 characters, no fill") << QString(113, QChar(u'字')) << 1 << 1;
    QTest::newRow("128 characters, two frames") << QString(114, QChar(u'字')) << 2 << 2;
    QTest::newRow("16 frames") << QString(2033, QChar(u'鑿')) << 3 << 16;
    QTest::newRow("twins of row 13") << "①㈱" << 1 << 1;
  }
  void roundTrip() {
    QFETCH(QString, text);
    QFETCH(int, speedOption);
    QFETCH(int, frames);
    const ConvertRunResult r = runConvertAndSend({text, speedOption, false});
    QVERIFY(!r.unusableCharacter);
    QByteArray stream;
    for (const QByteArray &w : r.writes) stream += w;
    const std::vector<ModuleEvent> events = decode(stream);
    QCOMPARE(faultsOf(events), QString());
    const ModuleEvent *m = lastOf(events, Kind::Message);
    QVERIFY(m);
    QCOMPARE(m->frames, frames);
    QCOMPARE(m->received, frames);
    QVERIFY(m->ok);
    QCOMPARE(m->text, readBack(*r.text1));
    QCOMPARE(static_cast<int>(events.size()), 2 + frames + 1);
  }

  // Many messages back to back, with auto update in between, cut at random.
  void randomTextsRoundTrip() {
    std::mt19937 rng(5336);
    QByteArray stream;
    QStringList expected;
    QList<int> speeds;
    for (int i = 0; i < 150; ++i) {
      const QString text = randomText(rng, i % 10 == 0 ? 2033 : 300);
      const int option = 1 + i % 5;
      const ConvertRunResult r = runConvertAndSend({text, option, false});
      QCOMPARE(r.outcome, RunOutcome::Sent);
      for (const QByteArray &w : r.writes) stream += w;
      for (int u = i % 4; u > 0; --u) stream += kUpdate;
      expected << readBack(*r.text1);
      speeds << (option == 5 ? 3 : option - 1);
    }
    ModuleDecoder d;
    std::vector<ModuleEvent> events;
    for (qsizetype pos = 0; pos < stream.size();) {
      const qsizetype n = std::uniform_int_distribution<qsizetype>(1, 700)(rng);
      for (ModuleEvent &e : d.feed(QByteArrayView(stream).sliced(pos, std::min(n, stream.size() - pos))))
        events.push_back(std::move(e));
      pos += n;
    }
    QCOMPARE(d.pendingBytes(), 0);
    QCOMPARE(faultsOf(events), QString());
    int message = 0;
    for (const ModuleEvent &e : events) {
      if (e.kind != Kind::Message) continue;
      QVERIFY(e.ok);
      QCOMPARE(e.text, expected[message]);
      QCOMPARE(e.speed, speeds[message]);
      ++message;
    }
    QCOMPARE(message, expected.size());
  }

  void faults_data() {
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<bool>("flush");
    QTest::addColumn<QString>("kinds");
    QTest::addColumn<QString>("faults");
    QTest::addColumn<QString>("messages");  // ok or bad, for each message summary

    const QByteArray a = messageOf(QStringLiteral("あ"));
    const QByteArray p1 = a.mid(14);
    const QByteArray two = messageOf(QString(114, QChar(u'字')));  // two frames
    auto changed = [](QByteArray bytes, int index, char value) {
      bytes[index] = value;
      return bytes;
    };

    QTest::newRow("whole message") << a << false << "start count packet message" << "" << "ok";
    QTest::newRow("clear, cue, update") << command(CommandCode::DisplayClear) + command(CommandCode::DataCue) + kUpdate
                                        << false << "clear cue update" << "" << "";
    // Control commands.
    QTest::newRow("command byte 6") << QByteArray::fromHex("00001400" "0015EF") + kUpdate << false << "fault update"
                                    << "unexpected-bytes" << "";
    QTest::newRow("command end byte") << QByteArray::fromHex("00001400" "0014EE") + kUpdate << false
                                      << "fault update" << "unexpected-bytes" << "";
    QTest::newRow("command byte 5") << QByteArray::fromHex("00001400" "0115EF") + kUpdate << false << "fault update"
                                    << "unexpected-bytes" << "";
    QTest::newRow("unknown command") << QByteArray::fromHex("00003000" "0030EF") << false << "fault"
                                     << "unknown-command" << "";
    QTest::newRow("display clear with a parameter") << command(CommandCode::DisplayClear, 1) << false << "fault"
                                                    << "bad-parameter" << "";
    QTest::newRow("frame count 0") << kStart + countOf(0) << false << "start fault" << "bad-parameter" << "";
    QTest::newRow("frame count 17") << kStart + countOf(17) << false << "start fault" << "bad-parameter" << "";
    // One packet.
    QTest::newRow("checksum") << changed(a, 14 + 260, 0x00) << false << "start count packet message"
                              << "bad-checksum" << "bad";
    QTest::newRow("end byte") << changed(a, a.size() - 1, '\xEE') + kUpdate << false
                              << "start count packet message update" << "bad-end-byte" << "bad";
    QTest::newRow("fill") << kStart + countOf(1) + withChecksum(changed(packet(1, 0, kA), 100, 0x41)) << false
                          << "start count packet message" << "bad-fill" << "bad";
    QTest::newRow("no speed code") << kStart + countOf(1) + packet(1, -1, kA) << false << "start count packet message"
                                   << "missing-speed-code" << "bad";
    QTest::newRow("speed byte 4") << kStart + countOf(1) + packet(1, 4, kA) << false << "start count packet message"
                                  << "bad-speed-code" << "bad";
    QTest::newRow("speed code in frame 2") << kStart + countOf(2) + packet(1, 0, kA) + packet(2, 1, kA) << false
                                           << "start count packet packet message" << "speed-code-outside-frame-1" << "bad";
    QTest::newRow("odd data") << kStart + countOf(1) + packet(1, 0, kA + '\x02') << false
                              << "start count packet message" << "odd-data-length" << "bad";
    QTest::newRow("unknown display code") << kStart + countOf(1) + packet(1, 0, QByteArray::fromHex("0206D40F")) << false
                                          << "start count packet message" << "unknown-display-code" << "bad";
    // Frames and the message.
    QTest::newRow("frames swapped") << kStart + countOf(2) + packet(2, -1, kA) + packet(1, 0, kA) << false
                                    << "start count packet message packet"
                                    << "frame-out-of-order packet-without-frame-count" << "bad";
    QTest::newRow("frame beyond the count") << kStart + countOf(1) + packet(2, -1, kA) << false
                                            << "start count packet message" << "frame-out-of-order" << "bad";
    QTest::newRow("packets missing, then update") << kStart + countOf(2) + packet(1, 0, kA) + kUpdate << false
                                                  << "start count packet fault update" << "incomplete-message" << "";
    QTest::newRow("packets missing, then a new message") << kStart + countOf(2) + packet(1, 0, kA) + a << false
                                                         << "start count packet fault start count packet message"
                                                         << "incomplete-message" << "ok";
    QTest::newRow("message start, then update") << kStart + kUpdate << false << "start fault update"
                                                << "missing-frame-count" << "";
    QTest::newRow("message start, then a packet") << kStart + p1 << false << "start fault packet"
                                                  << "missing-frame-count packet-without-frame-count" << "";
    QTest::newRow("frame count without message start") << countOf(1) + p1 << false << "count fault packet message"
                                                       << "frame-count-without-message-start" << "bad";
    QTest::newRow("packet alone") << p1 << false << "packet" << "packet-without-frame-count" << "";
    // Packets of the wrong length: resynchronised on what follows.
    QTest::newRow("a byte lost, then a command") << a.left(200) + a.mid(201) + kUpdate << false
                                                 << "start count packet message update" << "packet-length" << "bad";
    QTest::newRow("a byte lost, then the next packet") << two.left(14 + 200) + two.mid(14 + 201) << false
                                                       << "start count packet packet message" << "packet-length" << "bad";
    QTest::newRow("cut short by a command") << kStart + countOf(1) + p1.left(100) + kUpdate + a << false
                                            << "start count packet message update start count packet message"
                                            << "packet-length" << "bad ok";
    QTest::newRow("cut short, a command's end byte in its place")
        << kStart + countOf(1) + p1.left(255) + kUpdate << false << "start count packet message update"
        << "packet-length" << "bad";
    QTest::newRow("a byte too many") << a.left(200) + '\xFF' + a.mid(200) + kUpdate << false
                                     << "start count packet message fault update"
                                     << "bad-checksum bad-end-byte unexpected-bytes" << "bad";
    QTest::newRow("junk, then a command") << QByteArray("ABC") + kUpdate << false << "fault update"
                                          << "unexpected-bytes" << "";
    // The line goes quiet.
    QTest::newRow("quiet: packet cut short") << kStart + countOf(1) + p1.left(100) << true << "start count packet message"
                                             << "packet-length" << "bad";
    QTest::newRow("quiet: end byte missing") << a.left(a.size() - 1) << true << "start count packet message"
                                             << "packet-length" << "bad";
    QTest::newRow("quiet: command cut short") << QByteArray::fromHex("000014") << true << "fault" << "unexpected-bytes" << "";
    QTest::newRow("quiet: packets never came") << kStart + countOf(2) + packet(1, 0, kA) << true
                                               << "start count packet fault" << "incomplete-message" << "";
    QTest::newRow("quiet: message start alone") << kStart << true << "start fault" << "missing-frame-count" << "";
  }
  void faults() {
    QFETCH(QByteArray, stream);
    QFETCH(bool, flush);
    QFETCH(QString, kinds);
    QFETCH(QString, faults);
    QFETCH(QString, messages);
    const std::vector<ModuleEvent> events = decode(stream, flush);
    QStringList messageOk;
    for (const ModuleEvent &e : events)
      if (e.kind == Kind::Message) messageOk << (e.ok ? "ok" : "bad");
    QCOMPARE(messageOk.join(u' '), messages);
    QCOMPARE(kindsOf(events), kinds);
    QCOMPARE(faultsOf(events), faults);
    for (const ModuleEvent &e : events) {
      if (e.kind == Kind::Packet) QCOMPARE(e.ok, e.faults.empty());
      if (e.kind == Kind::Fault) QCOMPARE(e.faults.size(), std::size_t(1));
      for (const FaultReport &f : e.faults) QVERIFY(!f.detail.isEmpty());
    }
    // Every byte is accounted for once the line has gone quiet.
    if (flush) QCOMPARE(bytesAccountedFor(events), stream.size());
  }

  void faultDetails() {
    // A malformed command is skipped as one run, up to the next real start.
    std::vector<ModuleEvent> events = decode(QByteArray::fromHex("00001400" "0015EF") + kUpdate);
    QCOMPARE(events[0].length, 7);
    QCOMPARE(events[0].offset, 0);
    QVERIFY(events[0].faults[0].detail.contains("byte 6 is 15, expected 14"));
    QCOMPARE(events[1].offset, 7);

    // A packet with a bad checksum and an unknown code tells which and where.
    QByteArray p = packet(1, 0, QByteArray::fromHex("0206D40F"));
    p[260] = static_cast<char>(p[260] + 1);
    events = decode(kStart + countOf(1) + p);
    const ModuleEvent &packetEvent = events[2];
    QVERIFY(!packetEvent.checksumOk);
    QCOMPARE(packetEvent.text, QStringLiteral("あ\uFFFD"));
    QCOMPARE(packetEvent.faults[0].detail, "display code D4 0F at byte 8 (JIS 4F54) names no character");
    QVERIFY(packetEvent.faults[1].detail.startsWith("checksum"));

    // Many unknown codes in one packet make one report that counts them all.
    events = decode(kStart + countOf(1) + packet(1, 0, QByteArray::fromHex("D40F").repeated(10) + kA));
    QCOMPARE(faultsOf(events), "unknown-display-code");
    QVERIFY(events[2].faults[0].detail.startsWith("10 display codes name no character: D4 0F at byte 6 (JIS 4F54), "));
    QVERIFY(events[2].faults[0].detail.endsWith(" and 2 more"));
    QCOMPARE(events[2].text, QString(10, QChar(0xFFFD)) + u'あ');

    // The packet cut short by a command is reported with its length.
    events = decode(kStart + countOf(1) + p.left(100) + kUpdate + kUpdate + p);
    QCOMPARE(kindsOf(events), "start count packet message update update packet");
    QCOMPARE(events[2].length, 100);
    QCOMPARE(events[4].offset, 14 + 100);
  }

  // The events do not depend on how the stream was cut into pieces.
  void splitsDoNotMatter() {
    QByteArray stream;
    std::mt19937 rng(262);
    for (int i = 0; i < 12; ++i) stream += messageOf(randomText(rng, i == 5 ? 1500 : 200), 1 + i % 5) + kUpdate;
    // The fault rows, in reverse so that the leftovers of one meet another.
    QByteArray faultRows;
    const QByteArray a = messageOf(QStringLiteral("あ"));
    for (const QByteArray &row : {a.left(200) + a.mid(201), QByteArray::fromHex("00001400" "0015EF"),
                                  QByteArray("junk\x00\x05\x00", 7), kStart + countOf(2) + packet(1, 0, kA),
                                  a.left(200) + '\xFF' + a.mid(200), QByteArray::fromHex("00003000" "0030EF")}) {
      faultRows += row + a;
    }
    stream += faultRows + faultRows.left(1000);

    const std::vector<ModuleEvent> whole = decode(stream, true);
    QVERIFY(whole.size() > 100);
    QCOMPARE(bytesAccountedFor(whole), stream.size());

    ModuleDecoder byByte;
    std::vector<ModuleEvent> oneByOne;
    for (char c : stream)
      for (ModuleEvent &e : byByte.feed(QByteArrayView(&c, 1))) oneByOne.push_back(std::move(e));
    for (ModuleEvent &e : byByte.flush()) oneByOne.push_back(std::move(e));
    QVERIFY(oneByOne == whole);

    for (int seed = 1; seed <= 5; ++seed) {
      std::mt19937 cut(seed);
      ModuleDecoder d;
      std::vector<ModuleEvent> pieces;
      for (qsizetype pos = 0; pos < stream.size();) {
        const qsizetype n = std::uniform_int_distribution<qsizetype>(1, 600)(cut);
        for (ModuleEvent &e : d.feed(QByteArrayView(stream).sliced(pos, std::min(n, stream.size() - pos))))
          pieces.push_back(std::move(e));
        pos += n;
      }
      for (ModuleEvent &e : d.flush()) pieces.push_back(std::move(e));
      QVERIFY2(pieces == whole, qPrintable(QStringLiteral("seed %1").arg(seed)));
    }
  }

  void boundedMemory_data() {
    QTest::addColumn<int>("pattern");
    QTest::newRow("random bytes") << 0;
    QTest::newRow("zeros") << 1;
    QTest::newRow("packet headers") << 2;
    QTest::newRow("commands cut short") << 3;
  }
  void boundedMemory() {
    QFETCH(int, pattern);
    std::mt19937 rng(4206 + pattern);
    QByteArray chunk(1 << 16, '\0');
    ModuleDecoder d;
    qint64 total = 0;
    qint64 accounted = 0;
    qint64 eventCount = 0;
    int longestSkip = 0;
    auto take = [&](const std::vector<ModuleEvent> &events) {
      for (const ModuleEvent &e : events) {
        if (e.kind == Kind::Fault) longestSkip = std::max(longestSkip, e.length);
        accounted += e.length;
      }
      eventCount += static_cast<qint64>(events.size());
    };
    for (int round = 0; round < 48; ++round) {  // up to 3 MB
      for (qsizetype i = 0; i < chunk.size(); ++i) {
        switch (pattern) {
          case 0: chunk[i] = static_cast<char>(rng()); break;
          case 1: chunk[i] = 0; break;
          case 2: chunk[i] = "\x00\x01\x00"[i % 3]; break;
          case 3: chunk[i] = "\x00\x00\x1C\x00\x00\x1C"[i % 6]; break;
        }
      }
      const qsizetype n = std::uniform_int_distribution<qsizetype>(1, chunk.size())(rng);
      take(d.feed(QByteArrayView(chunk).first(n)));
      total += n;
      QVERIFY(d.pendingBytes() <= ModuleDecoder::kLookahead);
      // Events are few: at most one per element or run of skipped bytes.
      QVERIFY(eventCount <= total / 3 + 1);
    }
    take(d.flush());
    QCOMPARE(d.position(), total);
    QCOMPARE(d.pendingBytes(), 0);
    QCOMPARE(accounted, total);
    QVERIFY(longestSkip <= ModuleDecoder::kMaxSkipReport);

    // After the line has gone quiet, a message is read as if nothing happened.
    const std::vector<ModuleEvent> after = d.feed(messageOf(QStringLiteral("あ")));
    QCOMPARE(kindsOf(after), "start count packet message");
    QVERIFY(after.back().ok);
  }
};

QTEST_APPLESS_MAIN(ModuleDecoderTest)
#include "tst_module_decoder.moc"
