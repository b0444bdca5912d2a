// The module's face: the text drawn 24 dots high, scrolling at the rate of the speed code, blanked
// by display clear and started again by the data cue; and the program's preview of it.

#include "face/face_widget.h"
#include "face/module_face.h"
#include "ui/preview_window.h"

#include <QTest>

using namespace vf;

namespace {

const QString kPadding(14, QChar(0x3000));

// The smallest rectangle that holds every lit dot; null when none is lit.
QRect litBox(const DotFrame &frame) {
  QRect box;
  for (int x = 0; x < kFaceColumns; ++x)
    for (int y = 0; y < kFaceRows; ++y)
      if (frame.lit(x, y)) box |= QRect(x, y, 1, 1);
  return box;
}

qint64 msFor(int dots) { return qint64(dots) * 1000 / 192; }  // at speed 0

}  // namespace

class ModuleFaceTest : public QObject {
  Q_OBJECT
 private slots:
  void scrollClearAndCue() {
    ModuleFace face;
    face.showMessage(u"漢字"_qs + kPadding, 0, 1000);
    QVERIFY(litBox(face.frameAt(1000)).isNull());  // it enters at the right edge
    QVERIFY(litBox(face.frameAt(1000 + msFor(24))).left() >= kFaceColumns - 24);
    const QRect atLeft = litBox(face.frameAt(1000 + msFor(336)));  // both characters at the left edge
    QVERIFY(atLeft.left() < 24 && atLeft.right() > 24 && atLeft.right() < 48 && atLeft.height() >= 18);
    // Once the text and its 14 blanks (336 dots) have passed, the next pass begins the same way.
    QCOMPARE(face.frameAt(1000 + msFor(48 + 336 + 24)), face.frameAt(1000 + msFor(24)));
    face.replaceText(u"字漢"_qs + kPadding, 0, 1500);  // another text goes on from where this one was
    QCOMPARE(face.scrollOffsetAt(1500), 96);
    face.showMessage(u"漢字"_qs, 0, 0);  // without blanks: it has left the face before it enters again
    const QRect leaving = litBox(face.frameAt(msFor(360)));
    QVERIFY(!leaving.isNull() && leaving.right() < 24);
    const int dotsPerSecond[] = {192, 192, 96, 48, 24};  // without a valid speed code, as fast as 0
    for (int speed = -1; speed <= 3; ++speed) {
      face.showMessage(face.text(), speed, 0);
      QCOMPARE(face.scrollOffsetAt(1000), dotsPerSecond[speed + 1]);
    }
    // Display clear blanks the face; the data cue starts the stored text again at the right edge.
    const qint64 shown = msFor(336);
    face.showMessage(u"表示"_qs + kPadding, 0, 0);
    const DotFrame before = face.frameAt(shown);
    QVERIFY(before.litCount() > 50);
    face.clearDisplay();
    QCOMPARE(face.frameAt(shown + 5000).litCount(), 0);
    face.cue(9000);
    QCOMPARE(face.frameAt(9000 + shown), before);
  }

  // The preview's face is what the module would show: the normalised text, line ends as blanks, a marked
  // cell where a frame stops at a character without a code, and nothing of that frame after it.
  void preview() {
    PreviewWindow preview;
    const QString a = u"あ"_qs, cell(kMarkedCell);
    // 127 characters in frame 1, 128 in each after it (an emoji takes two places).
    const std::pair<QString, QString> shown[] = {
        {u"漢字かなｶﾅABC abc 123 ﾜﾞｳﾞ〜"_qs, u"漢字かなカナＡＢＣ　ａｂｃ　１２３　ワ゛ヴ～"_qs + kPadding},
        {u"行\r\n改行"_qs, u"行　　改行"_qs + kPadding},
        {a.repeated(200) + u"😀い"_qs + u"う"_qs.repeated(60), a.repeated(200) + cell + u"う"_qs.repeated(8) + kPadding},
        {u"é"_qs, cell},
        {u"字"_qs.repeated(2033), u"字"_qs.repeated(2033) + kPadding}};
    for (const auto &[text, face] : shown) {
      preview.showText(text, 2);
      QCOMPARE(preview.faceText(), face);
      QCOMPARE(preview.face().speedByte(), 1);
    }
    preview.showText(u"あ😀é"_qs, 1);
    QCOMPARE(preview.countsText(), u"文字数 4／2033（残り 2029）　フレーム数 1　使用できない文字 2"_qs);
    preview.showText(QString(2033, u'x'), 1);  // at the limit, and one over it
    QVERIFY(preview.countsText().contains(u"（残り 0）"_qs));
    preview.showText(QString(2034, u'x'), 1);
    QVERIFY(preview.faceText().isEmpty() && preview.countsText().contains(u"（1 文字オーバー）"_qs));
    // The marked cell as the preview draws it: once 48 dots have entered, after a character 24 dots wide, a box
    // with a cross through it in the last 24 columns.
    preview.showText(u"字é"_qs, 1);
    ModuleFace drawn = preview.face();
    drawn.showMessage(drawn.text(), drawn.speedByte(), 0);
    const DotFrame at48 = drawn.frameAt(msFor(48));
    QVERIFY(litBox(at48).left() >= 288 && at48.lit(318, 6) && at48.lit(329, 17) && at48.lit(318, 17) && at48.lit(329, 6) && !at48.lit(318, 12));
    preview.fitWithin({4000, 4000});  // where there is room: the face at its own size, never larger
    QCOMPARE(preview.findChild<FaceWidget *>()->size(), QSize(1359, 111));
    preview.findChild<FaceWidget *>()->fitWithin({4000, 37});  // in a low room the height decides: a third
    QCOMPARE(preview.findChild<FaceWidget *>()->size(), QSize(453, 37));
  }
};

QTEST_MAIN(ModuleFaceTest)
#include "tst_module_face.moc"
