// The encoder's lookups: exact matches, error reports and last results.

#include "encoder/lookups.h"

#include <QtTest>

using vf::Lookups;
using vf::NoticeLog;
using vf::OperatorNotice;
using Kind = OperatorNotice::Kind;

class LookupsTest : public QObject {
  Q_OBJECT
 private slots:
  void digitsAndBitTextRoundTrip() {
    NoticeLog notices;
    Lookups lookups(notices);
    const QString digits = QStringLiteral("0123456789ABCDEF");
    const QStringList bits = {"0000", "0001", "0010", "0011", "0100", "0101", "0110", "0111",
                              "1000", "1001", "1010", "1011", "1100", "1101", "1110", "1111"};
    for (int i = 0; i < 16; ++i) {
      const QString digit = digits.mid(i, 1);
      QCOMPARE(lookups.HEXtoBIN(digit).toString(), bits[i]);
      QCOMPARE(lookups.BINtoHEX(bits[i]).toString(), digit);
      QCOMPARE(lookups.BINtoHEX(lookups.HEXtoBIN(digit)).toString(), digit);
      QCOMPARE(lookups.Ex16(digit).toString(), digit);
    }
    QVERIFY(notices.empty());
  }

  void errorsReportAndGiveLastResult() {
    NoticeLog notices;
    Lookups lookups(notices);
    // No result yet: an error hands back empty text.
    QCOMPARE(lookups.HEXtoBIN(u"a").toString(), QString());
    QCOMPARE(lookups.Ex16(u"").toString(), QString());
    QCOMPARE(notices, (NoticeLog{{Kind::MessageBox, "HEXtoBIN ERROR"}, {Kind::Label1Caption, "HEXtoBIN ERROR"},
                                 {Kind::MessageBox, "Ex16 ERROR"}, {Kind::Label1Caption, "Ex16 ERROR"}}));
    // Each lookup keeps its own last result.
    lookups.HEXtoBIN(u"C");
    lookups.BINtoHEX(u"0111");
    lookups.Ex16(u"E");
    notices.clear();
    for (const char16_t *bad : {u"", u"CC", u"c"}) QCOMPARE(lookups.HEXtoBIN(bad).toString(), QStringLiteral("1100"));
    for (const char16_t *bad : {u"101", u"00001", u" 0001", u"0201", u""})
      QCOMPARE(lookups.BINtoHEX(bad).toString(), QStringLiteral("7"));
    for (const char16_t *bad : {u"", u"f", u"G", u"EE"}) QCOMPARE(lookups.Ex16(bad).toString(), QStringLiteral("E"));
    QCOMPARE(notices.size(), 2u * (3 + 5 + 4));
    // BINtoHEX has the short caption.
    QCOMPARE(notices[6], (OperatorNotice{Kind::MessageBox, "BINtoHEX ERROR"}));
    QCOMPARE(notices[7], (OperatorNotice{Kind::Label1Caption, "BINtoHEX"}));
  }

  void twoDigitForm() {
    QCOMPARE(vf::twoDigitForm(5), QStringLiteral("05"));
    QCOMPARE(vf::twoDigitForm(0), QStringLiteral("00"));
    QCOMPARE(vf::twoDigitForm(255), QStringLiteral("FF"));
    QCOMPARE(vf::twoDigitForm(300), QStringLiteral("2C"));
    QCOMPARE(vf::twoDigitForm(-31), QStringLiteral("E1"));
    QCOMPARE(vf::twoDigitForm(-225), QStringLiteral("1F"));
  }

  void hexValues() {
    QCOMPARE(vf::hexValue(u""), 0);
    QCOMPARE(vf::hexValue(u"8B"), 0x8B);
    QCOMPARE(vf::hexValue(u"E6FA"), 0xE6FA);
  }
};

QTEST_APPLESS_MAIN(LookupsTest)
#include "tst_lookups.moc"
