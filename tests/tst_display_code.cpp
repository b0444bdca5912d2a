// Display code -> character as the module reads it: each class of code, the
// twins of rows 9 .. 15, codes that name nothing, and every character of code
// page 932 through the encoder and back.

#include "encoder/character_conversion.h"
#include "encoder/cp932.h"
#include "link/display_code.h"

#include <QtTest>

using namespace vf;

namespace {

// The display code the encoder gives one character, then the first byte of
// the JIS code it computed; empty when the character is unusable.
QByteArray encode(QChar ch) {
  NoticeLog notices;
  Lookups lookups(notices);
  FrameForms forms;
  if (ConvertCharacters(QStringView(&ch, 1), forms, lookups, notices) != 2) return {};
  return QByteArray::fromHex((forms.packetHexText.left(5) + forms.jisDigits.left(2)).toLatin1());
}

QString hex4(int code) { return QStringLiteral("%1").arg(code, 4, 16, QChar(u'0')); }

}  // namespace

class DisplayCodeTest : public QObject {
  Q_OBJECT
 private slots:
  void codes_data() {
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("second");
    QTest::addColumn<QString>("character");  // empty: names no character
    QTest::addColumn<int>("jis");            // 0: stands for no JIS code
    QTest::newRow("漢, class 11") << 0x41 << 0x02 << "漢" << 0x3441;
    QTest::newRow("字, odd first byte") << 0xFA << 0x05 << "字" << 0x3B7A;
    QTest::newRow("堯, class 111") << 0x01 << 0x16 << "堯" << 0x7421;
    QTest::newRow("Ａ, class 10") << 0x81 << 0x09 << "Ａ" << 0x2341;
    // Rows 9 .. 15 share their codes with rows 1 .. 7 and come back as the
    // twin there; where row 0 or the twin's cell is empty, as themselves.
    QTest::newRow("① as ァ") << 0x81 << 0x06 << "ァ" << 0x2521;
    QTest::newRow("─, row 8") << 0x01 << 0x04 << "─" << 0x2821;
    QTest::newRow("∟, row 13 over an empty cell") << 0x98 << 0x0E << "∟" << 0x2D78;
    QTest::newRow("Q with bit 5") << 0x41 << 0x22 << "" << 0;
    QTest::newRow("wide, L = 7F") << 0xFF << 0x02 << "" << 0;
    QTest::newRow("wide, L = 20") << 0x20 << 0x02 << "" << 0;
    QTest::newRow("narrow, L = 20") << 0x00 << 0x04 << "" << 0;
    QTest::newRow("narrow, L = 7F") << 0x1F << 0x0C << "" << 0;
    QTest::newRow("gap after level 1") << 0xD4 << 0x0F << "" << 0x4F54;
    QTest::newRow("user-defined F040, read as 7721") << 0x81 << 0x17 << "" << 0x7721;
    QTest::newRow("row 8 past the box drawing") << 0x01 << 0x08 << "" << 0x2841;
  }
  void codes() {
    QFETCH(int, first);
    QFETCH(int, second);
    QFETCH(QString, character);
    QFETCH(int, jis);
    const DisplayCodeCharacter c = characterOfDisplayCode(first, second);
    QCOMPARE(c.known, !character.isEmpty());
    QCOMPARE(QString(QChar(c.character)), character.isEmpty() ? QStringLiteral("\uFFFD") : character);
    QCOMPARE(c.hasJisCode, jis != 0);
    if (c.hasJisCode) QCOMPARE(hex4(c.jisHigh << 8 | c.jisLow), hex4(jis));
    if (c.known) QCOMPARE(c.shiftJis, cp932::codeOf(c.character));
  }

  // Every character of code page 932 the encoder can send reads back as itself,
  // or as a twin with the same display code from a row it cannot tell apart.
  void everyCharacterThroughTheEncoderAndBack() {
    int exact = 0, twins = 0, userDefined = 0;
    for (int u = 0x20; u < 0x10000; ++u) {
      if (QChar::isSurrogate(u) || !cp932::isMappable(char16_t(u)) || cp932::codeOf(char16_t(u)) < 0x100) continue;
      const QByteArray code = encode(QChar(u));
      if (code.isEmpty()) continue;
      const DisplayCodeCharacter back = characterOfDisplayCode(code[0], code[1]);
      const int jisHigh = static_cast<unsigned char>(code[2]);
      const QByteArray what = ("U+" + hex4(u) + " came back as U+" + hex4(back.character)).toLatin1();
      if (!back.known) {  // user-defined (Shift-JIS F040 .. F09E): class "111", nothing behind it
        QVERIFY2(u >= 0xE000 && u <= 0xF8FF, what);
        ++userDefined;
      } else if (back.character == u) {
        ++exact;
      } else {  // only rows whose bit J11 the narrow classes drop have twins
        QCOMPARE(encode(QChar(back.character)).left(2), code.left(2));
        QVERIFY2((jisHigh >= 0x29 && jisHigh <= 0x2F) || jisHigh >= 0x78, what);
        ++twins;
      }
    }
    QVERIFY(exact > 6800);  // JIS X 0208 alone has 6879 characters
    QVERIFY(twins > 50);    // the NEC row 13
    QCOMPARE(userDefined, 0xF09E - 0xF040);  // F07F is no trail byte
  }
};

QTEST_APPLESS_MAIN(DisplayCodeTest)
#include "tst_display_code.moc"
