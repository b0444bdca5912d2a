// From a character to its display code: Shift-JIS, JIS digits, JIS bits,
// code class and the two display bytes, with the unusable-character report.

#include "encoder/character_conversion.h"
#include "encoder/cp932.h"

#include <QtTest>

using namespace vf;
using Kind = OperatorNotice::Kind;

namespace {

struct Conversion {
  FrameForms forms;
  NoticeLog notices;
  int dataBytes = 0;
};

Conversion convert(const QString &text) {
  Conversion c;
  Lookups lookups(c.notices);
  c.dataBytes = ConvertCharacters(text, c.forms, lookups, c.notices);
  return c;
}

const NoticeLog kUnusable = {{Kind::MessageBox, QStringLiteral("使用不可能な文字が含まれています")},
                             {Kind::Label1Caption, QStringLiteral("文字コード ERROR")}};

}  // namespace

class CharacterConversionTest : public QObject {
  Q_OBJECT
 private slots:
  void workedExamples_data() {
    QTest::addColumn<QString>("character");
    QTest::addColumn<int>("shiftJis");
    QTest::addColumn<QString>("jisDigits");
    QTest::addColumn<QString>("jisBits");
    QTest::addColumn<QString>("displayCode");
    QTest::newRow("漢") << "漢" << 0x8ABF << "3441" << "0011010001000001" << "41 02 ";
    QTest::newRow("字") << "字" << 0x8E9A << "3B7A" << "0011101101111010" << "FA 05 ";
    QTest::newRow("弌") << "弌" << 0x989F << "5021" << "0101000000100001" << "21 10 ";
    QTest::newRow("堯") << "堯" << 0xEA9F << "7421" << "0111010000100001" << "01 16 ";
    QTest::newRow("Ａ") << "Ａ" << 0x8260 << "2341" << "0010001101000001" << "81 09 ";
    QTest::newRow("あ") << "あ" << 0x82A0 << "2422" << "0010010000100010" << "02 06 ";
    QTest::newRow("CR") << "\r" << 0x8140 << "2121" << "0010000100100001" << "81 04 ";
    QTest::newRow("LF") << "\n" << 0x8140 << "2121" << "0010000100100001" << "81 04 ";
    QTest::newRow("blank") << "\u3000" << 0x8140 << "2121" << "0010000100100001" << "81 04 ";
    QTest::newRow("tab") << "\t" << 0x09 << "31E1" << "0011000111100001" << "E1 00 ";
    QTest::newRow("ァ") << "ァ" << 0x8340 << "2521" << "0010010100100001" << "81 06 ";
    QTest::newRow("①") << "①" << 0x8740 << "2D21" << "0010110100100001" << "81 06 ";
  }
  void workedExamples() {
    QFETCH(QString, character);
    QFETCH(int, shiftJis);
    QFETCH(QString, jisDigits);
    QFETCH(QString, jisBits);
    QFETCH(QString, displayCode);
    if (character != "\r" && character != "\n") QCOMPARE(cp932::codeOf(character[0].unicode()), shiftJis);
    const Conversion c = convert(character);
    QCOMPARE(c.forms.jisDigits, jisDigits);
    QCOMPARE(c.forms.jisBits, jisBits);
    QCOMPARE(c.forms.packetHexText, displayCode);
    QCOMPARE(c.dataBytes, 2);
    QVERIFY(c.notices.empty());
  }

  void textOfSeveralCharacters() {
    // 漢字 then a CR LF pair: each line end is coded on its own as a blank.
    const Conversion c = convert(QStringLiteral("漢字\r\n"));
    QCOMPARE(c.forms.jisDigits, QStringLiteral("34413B7A21212121"));
    QCOMPARE(c.forms.jisBits.size(), 64);
    QCOMPARE(c.forms.packetHexText, QStringLiteral("41 02 FA 05 81 04 81 04 "));
    QCOMPARE(c.dataBytes, 8);
  }

  void emptyTextAppendsNothing() {
    const Conversion c = convert(QString());
    QVERIFY(c.forms.jisDigits.isEmpty() && c.forms.jisBits.isEmpty() && c.forms.packetHexText.isEmpty());
  }

  void neighbouringFirstBytesDifferInBit7OfP() {
    // 亜 (JIS 30 21) and 院 (31 21).
    const Conversion a = convert(QStringLiteral("亜"));
    const Conversion b = convert(QStringLiteral("院"));
    QCOMPARE(a.forms.packetHexText, QStringLiteral("21 00 "));
    QCOMPARE(b.forms.packetHexText, QStringLiteral("A1 00 "));
  }

  void shiftJisToJisArithmetic() {
    QCOMPARE(SJIStoJIS(0x8140), QStringLiteral("2121"));
    QCOMPARE(SJIStoJIS(0xEAA4), QStringLiteral("7426"));
    QCOMPARE(SJIStoJIS(0xF140), QStringLiteral("8121"));  // user-defined
    QCOMPARE(SJIStoJIS(0xF040), QStringLiteral("7F21"));
    QCOMPARE(SJIStoJIS(0xB1), QStringLiteral("01E1"));  // half-width ｱ
    QCOMPARE(SJIStoJIS(0x09), QStringLiteral("31E1"));
    QCOMPARE(SJIStoJIS(0x00), QStringLiteral("1FE1"));
  }

  void userDefinedCharacters() {
    // The conversion sees a code, not a character: feed the codes of the
    // user-defined area through JIStoCODE by way of their JIS bits.
    NoticeLog notices;
    Lookups lookups(notices);
    auto bitsOf = [&](std::uint16_t sjis) {
      QString bits;
      for (QChar d : SJIStoJIS(sjis)) bits += lookups.HEXtoBIN(QStringView(&d, 1));
      return bits;
    };
    QString packet;
    DisplayCode f140 = JIStoCODE(bitsOf(0xF140), lookups, packet);
    QVERIFY(!f140.usable);
    QCOMPARE(f140.codeClass, 0);
    QVERIFY(packet.isEmpty());
    DisplayCode f040 = JIStoCODE(bitsOf(0xF040), lookups, packet);
    QVERIFY(f040.usable);
    QCOMPARE(f040.codeClass, 111);
    QCOMPARE(packet, QStringLiteral("81 17 "));
    // Extension characters (lead 0xFA..0xFC) fall in class "1" or "0".
    QVERIFY(!JIStoCODE(bitsOf(0xFA40), lookups, packet).usable);
    QVERIFY(notices.empty());
  }

  void unusableCharacterStopsDisplayCodesOnly() {
    // Hangul is outside code page 932.
    const Conversion c = convert(QStringLiteral("あ한漢"));
    QCOMPARE(c.notices, kUnusable);
    QCOMPARE(c.forms.packetHexText, QStringLiteral("02 06 "));
    QCOMPARE(c.dataBytes, 2);
    // Stages 1 and 2 ran over the whole text.
    QCOMPARE(c.forms.jisDigits.size(), 12);
    QCOMPARE(c.forms.jisDigits.right(4), QStringLiteral("3441"));
    QCOMPARE(c.forms.jisBits.size(), 48);
  }

  void charactersOutsideTheCodePageAreUnusable_data() {
    QTest::addColumn<QString>("text");
    QTest::newRow("emoji") << QStringLiteral("😀");
    QTest::newRow("hangul") << QStringLiteral("한");
    QTest::newRow("arabic") << QStringLiteral("ب");
    QTest::newRow("accented latin") << QStringLiteral("é");
    QTest::newRow("half-width katakana") << QStringLiteral("ｱ");
    QTest::newRow("nul") << QString(QChar(0));
  }
  void charactersOutsideTheCodePageAreUnusable() {
    QFETCH(QString, text);
    const Conversion c = convert(text);
    QCOMPARE(c.notices, kUnusable);
    QVERIFY(c.forms.packetHexText.isEmpty());
    QCOMPARE(c.dataBytes, 0);
  }

  void codePageTable() {
    QCOMPARE(cp932::codeOf(u'ｱ'), 0xB1);
    QCOMPARE(cp932::codeOf(u'～'), 0x8160);
    QCOMPARE(cp932::codeOf(u'＼'), 0x815F);
    QVERIFY(!cp932::isMappable(u'한'));
    QCOMPARE(cp932::codeOf(u'한'), cp932::kSubstitutionCode);
    QCOMPARE(cp932::decode(QByteArray("\x82\xA0\xC0", 3)), QStringLiteral("あﾀ"));
    QCOMPARE(cp932::encode(QStringLiteral("漢ﾀA")), QByteArray("\x8A\xBF\xC0" "A", 4));
  }
};

QTEST_APPLESS_MAIN(CharacterConversionTest)
#include "tst_character_conversion.moc"
