// The virtual module's face: the text drawn 24 dots high, the scroll at the
// rate of the speed code, display clear and data cue, the glowing dots and the
// window that shows them.

#include "link/module_decoder.h"
#include "sim/face_window.h"
#include "sim/module_face.h"

#include <QFontInfo>
#include <QtTest>

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

bool bright(QRgb p) { return qGreen(p) > 200; }

int brightPixels(const QImage &image) {
  int count = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) count += bright(image.pixel(x, y)) ? 1 : 0;
  return count;
}

}  // namespace

class ModuleFaceTest : public QObject {
  Q_OBJECT
 private slots:
  void scrollsFromRightToLeft() {
    QCOMPARE(QFontInfo(QFont(QStringLiteral("IPAGothic"))).family(), QStringLiteral("IPAGothic"));
    QCOMPARE(TextMask::render(QStringLiteral("漢字")).width(), 48);  // full-width characters are 24 dots wide
    QCOMPARE(TextMask::render(kPadding).lastLitColumn(), -1);
    ModuleFace face;
    face.showMessage(QStringLiteral("漢字") + kPadding, 0, 1000);
    QVERIFY(litBox(face.frameAt(1000)).isNull());  // it enters at the right edge
    QVERIFY(litBox(face.frameAt(1000 + msFor(24))).left() >= kFaceColumns - 24);
    const QRect atLeft = litBox(face.frameAt(1000 + msFor(336)));  // both characters at the left edge
    QVERIFY(atLeft.left() < 24 && atLeft.right() > 24 && atLeft.right() < 48);
    QVERIFY(atLeft.height() >= 18);  // a kanji fills most of the 24 rows
    // Once the text and its 14 blanks (336 dots) have passed, the next pass begins the same way.
    QCOMPARE(face.frameAt(1000 + msFor(48 + 336 + 24)), face.frameAt(1000 + msFor(24)));
    // Dots a second for the speed codes; without a valid one, as fast as code 0.
    const int dotsPerSecond[] = {192, 192, 96, 48, 24};
    for (int speed = -1; speed <= 3; ++speed) {
      face.showMessage(face.text(), speed, 0);
      QCOMPARE(face.scrollOffsetAt(1000), dotsPerSecond[speed + 1]);
    }
  }

  void displayClearAndDataCue() {
    ModuleFace face;
    const qint64 shown = msFor(336);
    face.showMessage(QStringLiteral("表示") + kPadding, 0, 0);
    const DotFrame before = face.frameAt(shown);
    QVERIFY(before.litCount() > 50);
    face.clearDisplay();
    QCOMPARE(face.frameAt(shown + 5000).litCount(), 0);
    face.cue(10000);  // the stored text again from the beginning
    QCOMPARE(face.frameAt(10000).litCount(), 0);
    QCOMPARE(face.frameAt(10000 + shown), before);
    face.showMessage(QStringLiteral("新") + kPadding, 0, 20000);  // a new text from the beginning too
    QVERIFY(litBox(face.frameAt(20000 + shown)).right() < 24);
  }

  void glowingDots() {
    DotFrame frame;
    QCOMPARE(brightPixels(renderFace(frame)), 0);
    frame.set(0, 0);
    frame.set(335, 23);
    frame.set(100, 12);
    const QImage image = renderFace(frame);
    QCOMPARE(brightPixels(image), 3 * kDotSize * kDotSize);
    for (const QPoint &dot : {dotCentre(0, 0), dotCentre(335, 23), dotCentre(100, 12)})
      QVERIFY(bright(image.pixel(dot)));
    const QPoint gap(2, 0);  // the gap next to a lit dot catches some glow
    QVERIFY(qGreen(image.pixel(dotCentre(100, 12) + gap)) > qGreen(image.pixel(dotCentre(50, 5) + gap)));
  }

  // The window shows a message as it scrolls in, nothing after display clear,
  // and the message again after the data cue.
  void windowFollowsTheLine() {
    FaceWindow window(QStringLiteral("/dev/pts/test"));
    window.show();
    ModuleEvent e;
    e.speed = 0;
    e.text = QStringLiteral("■■■■") + kPadding;
    auto handle = [&](ModuleEvent::Kind kind) {
      e.kind = kind;
      window.handle(e);
    };
    QCOMPARE(brightPixels(window.faceImage()), 0);
    handle(ModuleEvent::Kind::Message);
    QTRY_VERIFY_WITH_TIMEOUT(brightPixels(window.grab().toImage()) > 200, 10000);
    handle(ModuleEvent::Kind::DisplayClear);
    QCOMPARE(brightPixels(window.faceImage()), 0);
    handle(ModuleEvent::Kind::DataCue);
    QTRY_VERIFY_WITH_TIMEOUT(brightPixels(window.grab().toImage()) > 200, 10000);
  }
};

QTEST_MAIN(ModuleFaceTest)
#include "tst_module_face.moc"
