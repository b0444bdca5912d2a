// Convert-and-send without a window: the message built from the text, and the
// run as the window shows it. Seeded random texts are checked against the
// packet format and an independent computation of every display code.

#include "encoder/message_builder.h"
#include "encoder/run_presentation.h"
#include "encoder/text_check.h"
#include "tests/support/bytes.h"

#include <QTest>

#include <unicode/ucnv.h>

#include <map>
#include <random>

using namespace vf;

namespace {

// The JIS code (H << 8 | L, each byte modulo 256) that the Shift-JIS to JIS
// arithmetic gives for the character's code page 932 bytes, taken from ICU
// (not from the encoder's table). CR, LF and tab stand for the full-width
// blank; any other control character, and a character outside the code
// page, is "?".
int expectedJis(QChar ch) {
  static UConverter *conv = [] {
    UErrorCode status = U_ZERO_ERROR;
    UConverter *c = ucnv_open("windows-31j", &status);
    ucnv_setFromUCallBack(c, UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
    return c;
  }();
  int lead = 0x81, trail = 0x40;
  if (ch.unicode() < 0x20 || ch.unicode() == 0x7F) {
    if (ch != u'\r' && ch != u'\n' && ch != u'\t') lead = '?', trail = 0;
  } else {
    char out[8];
    UErrorCode status = U_ZERO_ERROR;
    const UChar unit = ch.unicode();
    ucnv_resetFromUnicode(conv);
    const int n = ucnv_fromUChars(conv, out, sizeof out, &unit, 1, &status);
    const bool mapped = U_SUCCESS(status) && n > 0;
    lead = mapped ? static_cast<unsigned char>(out[0]) : '?';
    trail = mapped && n == 2 ? static_cast<unsigned char>(out[1]) : 0;
  }
  int h = lead <= 0x9F ? (lead - 0x70) * 2 - 1 : (lead - 0xB0) * 2 - 1;
  int l = trail > 0x7F ? trail - 1 : trail;
  if (l >= 0x9E) {
    l -= 0x7D;
    ++h;
  } else {
    l -= 0x1F;
  }
  return (h & 0xFF) << 8 | (l & 0xFF);
}

// The display code in numbers (P << 8 | Q), or -1 for an unusable character.
int expectedDisplayCode(QChar ch) {
  const int h = (expectedJis(ch) >> 8) & 0x7F, l = expectedJis(ch) & 0xFF;
  if (h < 0x20) return -1;
  if (h >= 0x30 && h <= 0x6F) return (128 * (h % 2) + l % 128) << 8 | (h - 0x30) / 2;
  return (128 * (h % 2) + l % 32) << 8 | (4 * ((l / 32) % 4) + (h / 2) % 4 + (h >= 0x70 ? 16 : 0));
}

QString randomText(std::mt19937 &rng) {
  static const QString pools[] = {
      QStringLiteral("漢字亜院弌堯槇熙鑿龠丼檗泛"), QStringLiteral("あいうぁんアイヴーｱｶﾞﾊﾟｰﾞﾜﾞ"),
      QStringLiteral("①Ⅻ㈱～＼￥「」、。・※〒≒〜−÷"), QStringLiteral("AZaz09 !~\\`{}\"'"),
      QStringLiteral("\r\n\t\x01\x1A\x1C\x7F"), QStringLiteral("한éب😀\u0000\uE000\uE0BC")};
  std::discrete_distribution<int> pick({30, 30, 10, 20, 6, 2});
  const int cls = std::uniform_int_distribution<int>(0, 9)(rng);
  const int length = cls == 0 ? 0 : cls < 7 ? std::uniform_int_distribution<int>(1, 300)(rng)
                                            : std::uniform_int_distribution<int>(1900, 2100)(rng);
  QString text;
  while (text.size() < length) {
    const QString &pool = pools[pick(rng)];
    text += pool[std::uniform_int_distribution<int>(0, pool.size() - 1)(rng)];
  }
  return text;
}

// The fields as the window shows them once every step of the run is done.
using Field = std::pair<RunField, int>;  // a field, and the frame of a frame's packet
std::map<Field, QString> finalFields(const std::vector<RunStep> &steps) {
  std::map<Field, QString> fields;
  for (const RunStep &s : steps)
    if (const auto *set = std::get_if<SetField>(&s)) fields[{set->field, set->frame}] = set->text;
  return fields;
}

QString hexOf(const QByteArray &bytes) { return QString::fromLatin1(bytes.toHex().toUpper()); }

}  // namespace

class EncoderTest : public QObject {
  Q_OBJECT
 private slots:
  void randomTexts() {
    std::mt19937 rng(20261206);
    int sent = 0, refused = 0, withUnusable = 0;
    for (int round = 0; round < 3000; ++round) {
      const QString text = randomText(rng);
      const int speed = 1 + round % 5;
      const BuiltMessage m = buildMessage(text, speed);
      const auto fields = finalFields(presentRun(m, round % 2 == 0));
      const qsizetype padded = text.size() + 14;  // full-width blanks, up to 2047 characters
      if (padded > 2047 || text.isEmpty()) {
        QCOMPARE(m.outcome, text.isEmpty() ? RunOutcome::Empty : RunOutcome::TooLong);
        QVERIFY(m.writes.empty());
        QCOMPARE(fields.at({RunField::CharacterCount, 0}), QString::number(padded));
        ++refused;
        continue;
      }
      ++sent;
      const QString normalised = normaliseForModule(text + QString(14, QChar(0x3000)));
      const int frames = 1 + static_cast<int>(normalised.size()) / 128;
      QCOMPARE(fields.at({RunField::ModuleText, 0}), normalised);
      QCOMPARE(fields.at({RunField::FrameCount, 0}), QString::number(frames));
      QCOMPARE(m.writes.size(), std::size_t(2 + frames));
      QCOMPARE(m.writes[1], QByteArray::fromHex(QString::asprintf("000004%02X00%02XEF", frames, frames + 4).toLatin1()));

      qsizetype firstUnusable = -1;
      for (int k = 1; k <= frames; ++k) {
        const QByteArray &p = m.writes[1 + k];
        QCOMPARE(p.size(), qsizetype(262));
        QCOMPARE(p.left(3), QByteArray::fromHex(QString::asprintf("00%02X00", k).toLatin1()));
        QCOMPARE(fields.at({RunField::FramePacket, k}), hexOf(p));
        int pos = 3;
        if (k == 1) {
          QCOMPARE(static_cast<unsigned char>(p[3]), speed == 5 ? 3 : speed - 1);
          pos = 5;
        }
        // Frame 1 holds characters 1 .. 127, frame k characters 128(k-1) .. 128k-1.
        const qsizetype first = k == 1 ? 0 : 128 * (k - 1) - 1;
        const QStringView chars = QStringView(normalised).mid(first, k == 1 ? 127 : 128);
        for (qsizetype i = 0; i < chars.size(); ++i, pos += 2) {
          const int code = expectedDisplayCode(chars[i]);
          if (code < 0) {
            if (firstUnusable < 0) firstUnusable = first + i;
            break;
          }
          QCOMPARE((static_cast<unsigned char>(p[pos]) << 8) | static_cast<unsigned char>(p[pos + 1]), code);
        }
        for (; pos < kPacketBodySize; ++pos) QCOMPARE(static_cast<unsigned char>(p[pos]), 0xFF);
        int sum = 0;
        for (int i = 0; i < kPacketBodySize; ++i) sum += static_cast<unsigned char>(p[i]);
        QCOMPARE((static_cast<unsigned char>(p[259]) << 8) | static_cast<unsigned char>(p[260]), sum);
        QCOMPARE(static_cast<unsigned char>(p[261]), 0xEF);
        if (k == frames) {
          QCOMPARE(fields.at({RunField::Checksum, 0}), QString::asprintf("%04X", sum));
          QCOMPARE(fields.at({RunField::PacketText, 0}), QString::fromLatin1(p.toHex(' ').toUpper()));
          QCOMPARE(fields.at({RunField::PackedPacket, 0}), hexOf(p));
          QString digits, bits;  // the JIS codes of the whole frame, unusable characters included
          for (QChar c : chars) {
            digits += QString::asprintf("%04X", expectedJis(c));
            bits += QStringLiteral("%1").arg(expectedJis(c), 16, 2, QChar(u'0'));
          }
          QCOMPARE(fields.at({RunField::JisDigits, 0}), digits);
          QCOMPARE(fields.at({RunField::JisBits, 0}), bits);
        }
      }
      // Marked while typing: exactly the characters the run refuses, stops included.
      const NormalisedText n = normaliseWithPositions(text);
      std::vector<bool> marked(std::size_t(text.size()), false);
      for (const TextCheck::Range &r : checkText(text).unusable)
        for (qsizetype i = r.from; i < r.to; ++i) marked[std::size_t(i)] = true;
      for (qsizetype i = 0; i < n.text.size(); ++i)
        QCOMPARE(bool(marked[std::size_t(n.sourceIndex[i])]), expectedDisplayCode(n.text[i]) < 0);
      QCOMPARE(checkText(text).frames, frames);
      // Where the first unusable character stands in the operator's text.
      QCOMPARE(m.hasUnusable(), firstUnusable >= 0);
      if (firstUnusable >= 0) {
        ++withUnusable;
        QCOMPARE(m.firstUnusableFrom, n.sourceIndex[firstUnusable]);
        QCOMPARE(text.mid(m.firstUnusableFrom, m.firstUnusableTo - m.firstUnusableFrom),
                 text.mid(n.sourceIndex[firstUnusable], n.sourceIndex[firstUnusable + 1] - n.sourceIndex[firstUnusable]));
      }
    }
    // The generator must have reached every kind of run.
    QVERIFY(sent > 1000 && refused > 100 && withUnusable > 100);
  }

  void workedExample() {
    const BuiltMessage m = buildMessage(u"あ"_qs, 1);
    const QByteArray packet = hex("000100008B0206") + hex("8104").repeated(14) +
                              QByteArray(224, '\xFF') + hex("E6FAEF");
    QCOMPARE(m.writes, (std::vector<QByteArray>{hex("00002500 0025EF"), hex("00000401 0005EF"), packet}));
  }

  // While typing, only what can be sent is judged: the first 2033 characters.
  void typingLimits() {
    const TextCheck check = checkText(QString(2032, u'あ') + u"éé"_qs);  // the second é is character 2034
    QVERIFY(check.unusable.size() == 1 && check.unusable[0].from == 2032 && check.frames == 0);
  }

  // Too long: only the error caption goes, the text and its count change, then the message (an empty
  // text: the window's tests).
  void refusedRun() {
    const auto tooLong = presentRun(buildMessage(QString(2034, u'x'), 1), false);
    QCOMPARE(tooLong.size(), std::size_t(4));
    QCOMPARE(std::get<ShowMessage>(tooLong[3]).text, QStringLiteral("文字数オーバー（2034文字、最大2033文字）"));
  }

  // The box about an unusable character in frame 2 finds the run half done; the
  // character to select is the whole of it (its words and the captions: the window's tests).
  void boxInTheMiddleOfAFrame() {
    const QString text = QString(200, u'あ') + u"漢😀字"_qs + QString(10, u'い');
    const BuiltMessage m = buildMessage(text, 1);
    const std::vector<RunStep> steps = presentRun(m, false);
    const auto at = [&](auto found) { return std::find_if(steps.begin(), steps.end(), found) - steps.begin(); };
    const auto box = at([](const RunStep &s) { return std::holds_alternative<ShowMessage>(s); });
    const auto caption = at([](const RunStep &s) {
      return std::holds_alternative<SetField>(s) && std::get<SetField>(s).field == RunField::ErrorCaption && !std::get<SetField>(s).text.isEmpty();
    });
    const auto select = at([](const RunStep &s) { return std::holds_alternative<SelectInInput>(s); });
    QVERIFY(box < caption && caption < select && select < qsizetype(steps.size()));
    QCOMPARE(std::get<SelectInInput>(steps[select]).from, 201);
    QCOMPARE(std::get<SelectInInput>(steps[select]).to, 203);
    const auto seen = finalFields({steps.begin(), steps.begin() + box});
    QCOMPARE(seen.at({RunField::PacketText, 0}), QStringLiteral("00 02 00 ") + QStringLiteral("02 06 ").repeated(73) + QStringLiteral("41 02 "));
    QVERIFY(seen.count({RunField::FrameCount, 0}) == 0 && seen.count({RunField::FramePacket, 2}) == 0);  // not yet written
    QCOMPARE(seen.at({RunField::FramePacket, 1}), hexOf(m.frames[0].packet));
  }
};

QTEST_APPLESS_MAIN(EncoderTest)
#include "tst_encoder.moc"
