// Thousands of seeded random texts through whole runs. Every message is
// checked against the packet format, and every display code against an
// independent computation from the character's code page 932 bytes.

#include "encoder/convert_and_send.h"
#include "encoder/width_conversion.h"

#include <QtTest>

#include <unicode/ucnv.h>

#include <random>

using namespace vf;

namespace {

// Code page 932 bytes of one character, straight from ICU (not the
// encoder's table). Empty when the code page lacks it.
QByteArray icuBytesOf(QChar ch) {
  static UConverter *conv = [] {
    UErrorCode status = U_ZERO_ERROR;
    UConverter *c = ucnv_open("windows-31j", &status);
    ucnv_setFromUCallBack(c, UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
    return c;
  }();
  char out[8];
  UErrorCode status = U_ZERO_ERROR;
  const UChar unit = ch.unicode();
  ucnv_resetFromUnicode(conv);
  const int n = ucnv_fromUChars(conv, out, sizeof out, &unit, 1, &status);
  if (U_FAILURE(status)) return {};
  return QByteArray(out, n);
}

// The display code in numbers: H, L are the JIS bytes (H mod 128).
// Returns -1 for an unusable character.
int expectedDisplayCode(QChar ch) {
  int lead = 0, trail = 0;
  if (ch == u'\r' || ch == u'\n') {
    lead = 0x81;
    trail = 0x40;
  } else {
    const QByteArray b = icuBytesOf(ch);
    if (b.size() == 2) {
      lead = static_cast<unsigned char>(b[0]);
      trail = static_cast<unsigned char>(b[1]);
    } else if (b.size() == 1) {
      lead = static_cast<unsigned char>(b[0]);
    } else {
      return -1;
    }
  }
  // Shift-JIS -> JIS, the usual way round.
  int h = lead <= 0x9F ? (lead - 0x70) * 2 - 1 : (lead - 0xB0) * 2 - 1;
  int l = trail;
  if (l > 0x7F) --l;
  if (l >= 0x9E) {
    l -= 0x7D;
    ++h;
  } else {
    l -= 0x1F;
  }
  h &= 0xFF;
  l &= 0xFF;
  const int hh = h & 0x7F;
  if (hh < 0x20) return -1;
  int p = 0, q = 0;
  if (hh >= 0x30 && hh <= 0x6F) {
    p = 128 * (hh % 2) + l % 128;
    q = (hh - 0x30) / 2;
  } else {
    p = 128 * (hh % 2) + l % 32;
    q = 4 * ((l / 32) % 4) + (hh / 2) % 4 + (hh >= 0x70 ? 16 : 0);
  }
  return p << 8 | q;
}

QString randomText(std::mt19937 &rng) {
  static const QString kanji = QStringLiteral("漢字亜院弌堯槇熙鑿龠丼");
  static const QString kana = QStringLiteral("あいうぁんアイヴーｱｶﾞﾊﾟｰﾞ");
  static const QString symbols = QStringLiteral("①Ⅻ㈱～＼￥「」、。・※〒≒");
  static const QString ascii = QStringLiteral("AZaz09 !~\\`{}");
  static const QString control = QStringLiteral("\r\n\t\x01");
  static const QString unusable = QStringLiteral("한éب😀\u0000");
  const QString *pools[] = {&kanji, &kana, &symbols, &ascii, &control, &unusable};
  const int weights[] = {30, 30, 10, 20, 6, 1};
  std::discrete_distribution<int> pick(std::begin(weights), std::end(weights));
  std::uniform_int_distribution<int> lengthClass(0, 9);
  const int cls = lengthClass(rng);
  const int length = cls == 0 ? 0 : cls < 7 ? std::uniform_int_distribution<int>(1, 300)(rng)
                                            : std::uniform_int_distribution<int>(1900, 2100)(rng);
  QString text;
  while (text.size() < length) {
    const QString &pool = *pools[pick(rng)];
    text += pool[std::uniform_int_distribution<int>(0, pool.size() - 1)(rng)];
  }
  return text;
}

}  // namespace

class EncoderPropertyTest : public QObject {
  Q_OBJECT
 private slots:
  void randomTexts() {
    std::mt19937 rng(20261206);
    int sent = 0, tooLong = 0, empty = 0, withUnusable = 0;
    for (int round = 0; round < 3000; ++round) {
      const QString text = randomText(rng);
      const int speed = 1 + round % 5;
      const ConvertRunResult r = runConvertAndSend({text, speed, round % 2 == 0});
      const int padded = text.size() + kPaddingLength;
      QCOMPARE(*r.text19, QString::number(padded));
      if (padded > kMaxPaddedLength) {
        QCOMPARE(r.outcome, RunOutcome::TooLong);
        QVERIFY(r.writes.empty());
        ++tooLong;
        continue;
      }
      if (text.isEmpty()) {
        QCOMPARE(r.outcome, RunOutcome::Empty);
        QVERIFY(r.writes.empty());
        ++empty;
        continue;
      }
      ++sent;
      const QString normalised = toFullWidth(text + QString(kPaddingLength, QChar(0x3000)));
      QCOMPARE(*r.text1, normalised);
      const int frames = 1 + static_cast<int>(normalised.size()) / 128;
      QCOMPARE(r.framesBuilt(), frames);
      QCOMPARE(*r.text21, QString::number(frames));
      QCOMPARE(r.writes.size(), std::size_t(2 + frames));
      QCOMPARE(r.writes[0], QByteArray::fromHex("00002500" "0025EF"));
      QCOMPARE(r.writes[1], QByteArray::fromHex(QString::asprintf("000004%02X00%02XEF", frames, frames + 4).toLatin1()));

      bool sawUnusable = false;
      for (int k = 1; k <= frames; ++k) {
        const QByteArray &p = r.writes[1 + k];
        QCOMPARE(p.size(), kPacketSize);
        QCOMPARE(p.left(3), QByteArray::fromHex(QString::asprintf("00%02X00", k).toLatin1()));
        QCOMPARE(*r.frameFields[k - 1], QString::fromLatin1(p.toHex().toUpper()));
        int pos = 3;
        if (k == 1) {
          const int speedByte = speed == 5 ? 3 : speed - 1;
          QCOMPARE(static_cast<unsigned char>(p[3]), speedByte);
          QCOMPARE(static_cast<unsigned char>(p[4]), 0x8B);
          pos = 5;
        }
        // Frame 1 holds characters 1..127, frame k characters 128(k-1) .. 128k-1.
        const qsizetype first = k == 1 ? 0 : 128 * (k - 1) - 1;
        const QStringView chars = QStringView(normalised).mid(first, k == 1 ? 127 : 128);
        bool stopped = false;
        for (QChar ch : chars) {
          const int code = expectedDisplayCode(ch);
          if (code < 0) {
            stopped = true;
            break;
          }
          QCOMPARE((static_cast<unsigned char>(p[pos]) << 8) | static_cast<unsigned char>(p[pos + 1]), code);
          pos += 2;
        }
        sawUnusable |= stopped;
        for (; pos < kPacketBodySize; ++pos) QCOMPARE(static_cast<unsigned char>(p[pos]), 0xFF);
        int sum = 0;
        for (int i = 0; i < kPacketBodySize; ++i) sum += static_cast<unsigned char>(p[i]);
        QCOMPARE((static_cast<unsigned char>(p[259]) << 8) | static_cast<unsigned char>(p[260]), sum);
        QCOMPARE(static_cast<unsigned char>(p[261]), 0xEF);
      }
      QCOMPARE(r.unusableCharacter, sawUnusable);
      withUnusable += sawUnusable ? 1 : 0;
    }
    // The generator must have reached every kind of run.
    QVERIFY(sent > 1000);
    QVERIFY(tooLong > 50);
    QVERIFY(empty > 50);
    QVERIFY(withUnusable > 100);
  }
};

QTEST_APPLESS_MAIN(EncoderPropertyTest)
#include "tst_encoder_property.moc"
