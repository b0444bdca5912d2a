// Whole runs of convert-and-send: fields, notices and the bytes of every write.

#include "encoder/convert_and_send.h"

#include <QtTest>

using namespace vf;
using Kind = OperatorNotice::Kind;

namespace {

QByteArray bytesOf(const QString &hexWithBlanks) { return QByteArray::fromHex(hexWithBlanks.toLatin1()); }

QString repeat(const QString &s, int n) { return s.repeated(n); }

// The packet of the worked example: あ, speed option 1.
QString examplePacketHexText() {
  return "00 01 00 00 8B 02 06 " + repeat("81 04 ", 14) + repeat("FF ", 224) + "E6 FA EF";
}

int sumOfBody(const QByteArray &packet) {
  int sum = 0;
  for (int i = 0; i < kPacketBodySize; ++i) sum += static_cast<unsigned char>(packet[i]);
  return sum;
}

const QString kBlank = QString(QChar(0x3000));

}  // namespace

class ConvertAndSendTest : public QObject {
  Q_OBJECT
 private slots:
  void workedExampleOneCharacter() {
    const ConvertRunResult r = runConvertAndSend({QStringLiteral("あ"), 1, false});
    QCOMPARE(r.outcome, RunOutcome::Sent);
    QCOMPARE(*r.text1, "あ" + repeat(kBlank, 14));
    QCOMPARE(*r.text19, QStringLiteral("15"));
    QCOMPARE(*r.text21, QStringLiteral("1"));
    QCOMPARE(*r.text13, examplePacketHexText());
    QCOMPARE(r.text13->size(), kPacketHexTextLength);
    QCOMPARE(*r.text14, QStringLiteral("E6FA"));
    const QString packed = "000100008B0206" + repeat("8104", 14) + repeat("FF", 224) + "E6FAEF";
    QCOMPARE(*r.text15, packed);
    QCOMPARE(*r.frameFields[0], packed);
    for (int k = 1; k < kMaxFrames; ++k) QVERIFY(!r.frameFields[k].has_value());
    QCOMPARE(*r.text4, QStringLiteral("2422") + repeat("2121", 14));
    QCOMPARE(r.text6->size(), 15 * 16);
    QCOMPARE(*r.text20, QString());
    QCOMPARE(*r.label14, QStringLiteral("変換完了！"));
    QVERIFY(r.notices.empty());
    QVERIFY(r.enableTimerAfterSend);

    QCOMPARE(r.writes.size(), 3u);
    QCOMPARE(r.writes[0], bytesOf("00 00 25 00 00 25 EF"));
    QCOMPARE(r.writes[1], bytesOf("00 00 04 01 00 05 EF"));
    QCOMPARE(r.writes[2], bytesOf(examplePacketHexText()));
    QCOMPARE(r.writes[2].size(), kPacketSize);
    QCOMPARE(sumOfBody(r.writes[2]), 59130);
  }

  void speedCodeInFrameOneOnly() {
    // Option5 carries the same code as Option4; frame 2 has no speed code.
    const ConvertRunResult r = runConvertAndSend({repeat("あ", 200), 5, false});
    QVERIFY(r.frameFields[0]->startsWith("000100038B0206"));
    QVERIFY(r.frameFields[1]->startsWith("0002000206"));
  }

  void frameBoundaries_data() {
    QTest::addColumn<int>("typed");
    QTest::addColumn<int>("frames");
    QTest::newRow("113 typed, 127 padded") << 113 << 1;
    QTest::newRow("114 typed, 128 padded") << 114 << 2;
    QTest::newRow("241 typed, 255 padded") << 241 << 2;
    QTest::newRow("242 typed, 256 padded") << 242 << 3;
    QTest::newRow("1649 typed, 1663 padded") << 1649 << 13;
    QTest::newRow("1650 typed, 1664 padded") << 1650 << 14;
    QTest::newRow("2033 typed, 2047 padded") << 2033 << 16;
  }
  void frameBoundaries() {
    QFETCH(int, typed);
    QFETCH(int, frames);
    const ConvertRunResult r = runConvertAndSend({repeat("字", typed), 1, false});
    QCOMPARE(r.outcome, RunOutcome::Sent);
    QCOMPARE(*r.text19, QString::number(typed + 14));
    QCOMPARE(*r.text21, QString::number(frames));
    QCOMPARE(r.framesBuilt(), frames);
    QCOMPARE(r.writes.size(), std::size_t(2 + frames));
    QCOMPARE(static_cast<int>(r.writes[1][3]), frames);
  }

  void fullFramesHaveNoFill() {
    // 113 typed: frame 1 holds 127 characters and no fill byte; 2033 typed:
    // frame 16 is full as well.
    const ConvertRunResult one = runConvertAndSend({repeat("字", 113), 1, false});
    QVERIFY(!one.text13->contains("FF "));
    const ConvertRunResult full = runConvertAndSend({repeat("字", 2033), 1, false});
    QCOMPARE(full.writes.back().mid(257, 2), bytesOf("81 04"));
    QCOMPARE(full.writes[1], bytesOf("00 00 04 10 00 14 EF"));
  }

  void secondFrameWithOneBlank() {
    const ConvertRunResult r = runConvertAndSend({repeat("あ", 114), 1, false});
    const QString frame2 = "00 02 00 81 04 " + repeat("FF ", 254) + "FD 89 EF";
    QCOMPARE(*r.text13, frame2);
    QCOMPARE(*r.text14, QStringLiteral("FD89"));
    QCOMPARE(r.writes[3], bytesOf(frame2));
    QCOMPARE(*r.text15, *r.frameFields[1]);  // the last frame sent
  }

  void smallChecksumKeepsLeadingZeros() {
    // Frame 2 full of ぁ (display code 01 06): 2 + 128 * 7 = 0x0382.
    const ConvertRunResult r = runConvertAndSend({repeat("あ", 127) + repeat("ぁ", 128), 1, false});
    QVERIFY(r.frameFields[1]->endsWith("0382EF"));
    QCOMPARE(r.writes[3].mid(259, 3), bytesOf("03 82 EF"));
  }

  void overTheLimitSendsNothing() {
    const ConvertRunResult r = runConvertAndSend({repeat("A", 2034), 1, true});
    QCOMPARE(r.outcome, RunOutcome::TooLong);
    QCOMPARE(*r.text19, QStringLiteral("2048"));
    QCOMPARE(*r.text1, repeat("A", 2034) + repeat(kBlank, 14));  // not width converted
    QVERIFY(r.writes.empty());
    QVERIFY(!r.enableTimerAfterSend);
    QCOMPARE(r.notices, (NoticeLog{{Kind::MessageBox, "文字数オーバー"}}));
    QVERIFY(!r.text13 && !r.text4 && !r.text21 && !r.label14 && !r.frameFields[0]);
    // A packet left from an earlier run clears its work fields.
    QCOMPARE(*r.text6, QString());
    QCOMPARE(*r.text14, QString());
    QCOMPARE(*r.text15, QString());
    QCOMPARE(*r.text20, QString());
  }

  void emptyInput() {
    const ConvertRunResult r = runConvertAndSend({QString(), 1, false});
    QCOMPARE(r.outcome, RunOutcome::Empty);
    QCOMPARE(*r.text1, repeat(kBlank, 14));
    QCOMPARE(*r.text19, QStringLiteral("14"));
    QVERIFY(r.writes.empty());
    QVERIFY(!r.enableTimerAfterSend);
    const NoticeLog expected = {{Kind::ClearCheck1, {}}, {Kind::MessageBox, "文字を入力してください"}};
    QCOMPARE(r.notices, expected);
  }

  void halfWidthBecomesFullWidth() {
    const ConvertRunResult r = runConvertAndSend({QStringLiteral("ABC"), 1, false});
    QCOMPARE(*r.text1, "ＡＢＣ" + repeat(kBlank, 14));
    QCOMPARE(*r.text19, QStringLiteral("17"));
    QVERIFY(r.text13->startsWith("00 01 00 00 8B 81 09 82 09 83 09 81 04"));

    const ConvertRunResult kana = runConvertAndSend({QStringLiteral("ｱｲ ~\\\"'"), 1, false});
    QCOMPARE(*kana.text1, "アイ\u3000～＼”’" + repeat(kBlank, 14));
    QVERIFY(kana.notices.empty());
  }

  void soundMarksJoinOrStandAlone() {
    const ConvertRunResult r = runConvertAndSend({QStringLiteral("ｶﾞﾊﾟﾞ"), 1, false});
    QCOMPARE(*r.text1, "ガパ゛" + repeat(kBlank, 14));
    QVERIFY(r.notices.empty());
  }

  void shorterTextAfterWidthConversionSendsOnlyFramesBuilt() {
    // 120 typed (padded 134 -> two frames by count), but ｶﾞ pairs become one
    // character each: 124 normalised characters fit in one frame.
    const QString text = repeat("ｶﾞ", 10) + repeat("字", 100);
    const ConvertRunResult r = runConvertAndSend({text, 1, false});
    QCOMPARE(*r.text19, QStringLiteral("134"));
    QCOMPARE(r.text1->size(), 124);
    QCOMPARE(r.framesBuilt(), 1);
    QCOMPARE(*r.text21, QStringLiteral("1"));
    QCOMPARE(r.writes.size(), 3u);
    QCOMPARE(r.writes[1], bytesOf("00 00 04 01 00 05 EF"));
  }

  void unusableCharacterInTheMiddleOfAFrame() {
    const ConvertRunResult r = runConvertAndSend({QStringLiteral("漢한字"), 1, false});
    QCOMPARE(r.outcome, RunOutcome::Sent);
    QVERIFY(r.unusableCharacter);
    const NoticeLog expected = {{Kind::MessageBox, "使用不可能な文字が含まれています"},
                                {Kind::Label1Caption, "文字コード ERROR"}};
    QCOMPARE(r.notices, expected);
    // Only 漢 is coded; the frame is completed with fill bytes and sent.
    QCOMPARE(*r.text13, "00 01 00 00 8B 41 02 " + repeat("FF ", 252) + r.text14->left(2) + " " + r.text14->mid(2) + " EF");
    QCOMPARE(r.writes.size(), 3u);
    QCOMPARE(r.text4->size(), 17 * 4);  // digits of every character
  }

  void unusableCharacterInALaterFrame() {
    const QString text = repeat("あ", 130) + "😀" + repeat("い", 200);
    const ConvertRunResult r = runConvertAndSend({text, 1, false});
    QCOMPARE(r.framesBuilt(), 3);
    QCOMPARE(r.notices.size(), 2u);  // once, for frame 2 only
    // Frame 1 is whole; frame 2 stops after the three あ before the emoji.
    QVERIFY(!r.frameFields[0]->contains("FFFF"));
    QVERIFY(r.frameFields[1]->startsWith("000200" + repeat("0206", 3) + "FFFF"));
    QVERIFY(r.frameFields[2]->startsWith("000300"));
    QCOMPARE(r.writes.size(), 5u);
  }

  void lineEndsAndTabs() {
    const ConvertRunResult r = runConvertAndSend({QStringLiteral("あ\r\nい\tう"), 1, false});
    QVERIFY(r.text13->startsWith("00 01 00 00 8B 02 06 81 04 81 04 04 06 E1 00 06 06 81 04"));
    QCOMPARE(*r.text19, QStringLiteral("20"));
  }

  void fewerFramesThanBeforeLeavesHigherFieldsAlone() {
    const ConvertRunResult r = runConvertAndSend({QStringLiteral("短い"), 1, true});
    QCOMPARE(r.framesBuilt(), 1);
    for (int k = 1; k < kMaxFrames; ++k) QVERIFY(!r.frameFields[k].has_value());
    QCOMPARE(r.writes.size(), 3u);
  }
};

QTEST_APPLESS_MAIN(ConvertAndSendTest)
#include "tst_convert_and_send.moc"
