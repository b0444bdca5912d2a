// Display code -> character, the module's reading of what the encoder sends:
// the worked examples, the twins of rows 9 .. 15, codes that name nothing, and
// every character of code page 932 through the encoder and back.

#include "encoder/character_conversion.h"
#include "encoder/cp932.h"
#include "link/display_code.h"

#include <QtTest>

#include <optional>

using namespace vf;

namespace {

struct Encoded {
  std::uint8_t first;
  std::uint8_t second;
  std::uint8_t jisHigh;  // as the encoder computed it
};

// The display code the encoder gives one character; nullopt when unusable.
std::optional<Encoded> encode(QChar ch) {
  NoticeLog notices;
  Lookups lookups(notices);
  FrameForms forms;
  if (ConvertCharacters(QStringView(&ch, 1), forms, lookups, notices) != 2) return std::nullopt;
  const QByteArray bytes = QByteArray::fromHex(forms.packetHexText.toLatin1());
  return Encoded{static_cast<std::uint8_t>(bytes[0]), static_cast<std::uint8_t>(bytes[1]),
                 static_cast<std::uint8_t>(forms.jisDigits.left(2).toInt(nullptr, 16))};
}

}  // namespace

class DisplayCodeTest : public QObject {
  Q_OBJECT
 private slots:
  void workedExamples_data() {
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("second");
    QTest::addColumn<QString>("character");
    QTest::addColumn<int>("jis");
    QTest::newRow("漢, class 11") << 0x41 << 0x02 << "漢" << 0x3441;
    QTest::newRow("字, odd first byte") << 0xFA << 0x05 << "字" << 0x3B7A;
    QTest::newRow("弌, class 101") << 0x21 << 0x10 << "弌" << 0x5021;
    QTest::newRow("堯, class 111") << 0x01 << 0x16 << "堯" << 0x7421;
    QTest::newRow("full-width A, class 10") << 0x81 << 0x09 << "Ａ" << 0x2341;
    QTest::newRow("あ") << 0x02 << 0x06 << "あ" << 0x2422;
    QTest::newRow("full-width blank") << 0x81 << 0x04 << "\u3000" << 0x2121;
    QTest::newRow("class 110, last wide row") << 0xA1 << 0x1F << "錙" << 0x6F21;
  }
  void workedExamples() {
    QFETCH(int, first);
    QFETCH(int, second);
    QFETCH(QString, character);
    QFETCH(int, jis);
    const DisplayCodeCharacter c = characterOfDisplayCode(first, second);
    QVERIFY(c.hasJisCode);
    QVERIFY(c.known);
    QCOMPARE(QString(QChar(c.character)), character);
    QCOMPARE(c.jisHigh << 8 | c.jisLow, jis);
    QCOMPARE(c.shiftJis, cp932::codeOf(character[0].unicode()));
  }

  // Rows 9 .. 15 share their display codes with rows 1 .. 7.
  void specialCharactersComeBackAsTheirTwins_data() {
    QTest::addColumn<QString>("sent");
    QTest::addColumn<QString>("back");
    QTest::newRow("①") << "①" << "ァ";
    QTest::newRow("②") << "②" << "ア";
    QTest::newRow("⑳") << "⑳" << "ゴ";
    QTest::newRow("㈱") << "㈱" << "リ";
    QTest::newRow("№") << "№" << "モ";
    // Row 0 is empty and row 5 has nothing at these cells: no twin to take.
    QTest::newRow("box drawing, row 8") << "─" << "─";
    QTest::newRow("∟, row 13 over an empty cell") << "∟" << "∟";
  }
  void specialCharactersComeBackAsTheirTwins() {
    QFETCH(QString, sent);
    QFETCH(QString, back);
    const std::optional<Encoded> code = encode(sent[0]);
    QVERIFY(code);
    const DisplayCodeCharacter c = characterOfDisplayCode(code->first, code->second);
    QVERIFY(c.known);
    QCOMPARE(QString(QChar(c.character)), back);
    QCOMPARE(c.shiftJis, cp932::codeOf(back[0].unicode()));
  }

  void codesThatNameNothing_data() {
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("second");
    QTest::addColumn<bool>("hasJisCode");
    QTest::newRow("Q with bit 5") << 0x41 << 0x22 << false;
    QTest::newRow("Q with bit 7") << 0x00 << 0x8B << false;
    QTest::newRow("wide, L = 7F") << 0xFF << 0x02 << false;
    QTest::newRow("wide, L = 20") << 0x20 << 0x02 << false;
    QTest::newRow("narrow, L below 20") << 0x01 << 0x00 << false;
    QTest::newRow("narrow, L = 20") << 0x00 << 0x04 << false;
    QTest::newRow("narrow, L = 7F") << 0x1F << 0x0C << false;
    QTest::newRow("gap after level 1 (JIS 4F54)") << 0xD4 << 0x0F << true;
    QTest::newRow("user-defined F040 (JIS 7F21, read as 7721)") << 0x81 << 0x17 << true;
    QTest::newRow("past the box drawing (JIS 2841 / 2041)") << 0x01 << 0x08 << true;
  }
  void codesThatNameNothing() {
    QFETCH(int, first);
    QFETCH(int, second);
    QFETCH(bool, hasJisCode);
    const DisplayCodeCharacter c = characterOfDisplayCode(first, second);
    QCOMPARE(c.hasJisCode, hasJisCode);
    QVERIFY(!c.known);
    QCOMPARE(c.character, u'\uFFFD');
  }

  // Every character of code page 932 the encoder can send: its display code
  // reads back as a character with the same display code, and as the very
  // character unless it lies in a row the display code cannot tell apart.
  void everyCharacterThroughTheEncoderAndBack() {
    int exact = 0;
    int twins = 0;
    int userDefined = 0;
    for (int u = 0x20; u < 0x10000; ++u) {
      const QChar ch(static_cast<char16_t>(u));
      if (ch.isSurrogate() || !cp932::isMappable(ch.unicode()) || cp932::codeOf(ch.unicode()) < 0x100) continue;
      const std::optional<Encoded> code = encode(ch);
      if (!code) continue;
      const DisplayCodeCharacter back = characterOfDisplayCode(code->first, code->second);
      if (!back.known) {
        // The user-defined characters (Shift-JIS F040 .. F09E) get a display
        // code of class "111" but no character stands behind it.
        QVERIFY2(u >= 0xE000 && u <= 0xF8FF, qPrintable(QStringLiteral("U+%1 names nothing").arg(u, 4, 16, QChar(u'0'))));
        ++userDefined;
        continue;
      }
      if (back.character == ch.unicode()) {
        ++exact;
        continue;
      }
      const std::optional<Encoded> again = encode(QChar(back.character));
      QVERIFY(again);
      QCOMPARE(again->first, code->first);
      QCOMPARE(again->second, code->second);
      // Only rows whose bit J11 the narrow classes drop come back changed.
      QVERIFY2((code->jisHigh >= 0x29 && code->jisHigh <= 0x2F) || code->jisHigh >= 0x78,
               qPrintable(QStringLiteral("U+%1 came back as U+%2")
                              .arg(u, 4, 16, QChar(u'0'))
                              .arg(int(back.character), 4, 16, QChar(u'0'))));
      ++twins;
    }
    // JIS X 0208 alone has 6879 characters; the NEC row 13 holds the twins.
    QVERIFY(exact > 6800);
    QVERIFY(twins > 50);
    QCOMPARE(userDefined, 0xF09E - 0xF040 + 1 - 1);  // F07F is no trail byte
  }
};

QTEST_APPLESS_MAIN(DisplayCodeTest)
#include "tst_display_code.moc"
