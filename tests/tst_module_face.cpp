// The virtual module's face without a display: the text drawn 24 dots high,
// the scroll at the rate of the speed code, display clear and data cue, the
// glowing dot picture and the window that shows it.

#include "link/module_decoder.h"
#include "sim/face_window.h"
#include "sim/module_face.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QtTest>

using namespace vf;

namespace {

const QString kPadding(14, QChar(0x3000));

int litColumns(const DotFrame &frame, int *first = nullptr, int *last = nullptr) {
  int count = 0;
  int lo = -1;
  int hi = -1;
  for (int x = 0; x < kFaceColumns; ++x) {
    bool any = false;
    for (int y = 0; y < kFaceRows; ++y) any = any || frame.lit(x, y);
    if (!any) continue;
    ++count;
    if (lo < 0) lo = x;
    hi = x;
  }
  if (first) *first = lo;
  if (last) *last = hi;
  return count;
}

// Milliseconds after which the text has moved `dots` at the given speed.
qint64 msFor(int dots, int speed) { return qint64(dots) * 1000 / ModuleFace::dotsPerSecond(speed); }

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
  void japaneseFontIsThere() {
    QFont font(QStringLiteral("IPAGothic"));
    QCOMPARE(QFontInfo(font).family(), QStringLiteral("IPAGothic"));
  }

  void textIsDrawn24DotsHigh() {
    const TextMask kanji = TextMask::render(QStringLiteral("漢字"));
    QCOMPARE(kanji.width(), 48);  // full-width characters are 24 dots wide
    int top = kFaceRows;
    int bottom = -1;
    int lit = 0;
    for (int y = 0; y < kFaceRows; ++y)
      for (int x = 0; x < kanji.width(); ++x)
        if (kanji.lit(x, y)) {
          ++lit;
          top = std::min(top, y);
          bottom = std::max(bottom, y);
        }
    QVERIFY(lit > 100);
    QVERIFY2(bottom - top >= 18, "a kanji fills most of the 24 rows");
    QVERIFY(kanji.lastLitColumn() > 24);  // 字 is drawn too

    const TextMask blanks = TextMask::render(kPadding);
    QCOMPARE(blanks.width(), 14 * 24);
    QCOMPARE(blanks.lastLitColumn(), -1);
  }

  void scrollsFromRightToLeft() {
    ModuleFace face;
    face.showMessage(QStringLiteral("漢字") + kPadding, 0, 1000);
    QVERIFY(!face.isBlank());
    // The text enters at the right edge: nothing to see yet.
    QCOMPARE(face.frameAt(1000).litCount(), 0);
    int first = 0;
    int last = 0;
    // After 24 dots the first character stands in the last 24 columns.
    QVERIFY(litColumns(face.frameAt(1000 + msFor(24, 0)), &first, &last) > 10);
    QVERIFY(first >= kFaceColumns - 24);
    // After 336 dots both characters stand at the left edge.
    const DotFrame atLeft = face.frameAt(1000 + msFor(336, 0));
    QVERIFY(litColumns(atLeft, &first, &last) > 20);
    QVERIFY(first < 24);
    QVERIFY(last < 48);
    QCOMPARE(atLeft.litCount(), face.frameAt(1000 + msFor(336, 0)).litCount());
    // Once the text and its blanks have passed, the next pass begins the same way.
    QCOMPARE(face.period(), 48 + 14 * 24);
    QCOMPARE(face.frameAt(1000 + msFor(48 + 336 + 24, 0)), face.frameAt(1000 + msFor(24, 0)));
  }

  void fourRatesFastestForCodeZero() {
    QCOMPARE(ModuleFace::dotsPerSecond(0), 192);
    QCOMPARE(ModuleFace::dotsPerSecond(1), 96);
    QCOMPARE(ModuleFace::dotsPerSecond(2), 48);
    QCOMPARE(ModuleFace::dotsPerSecond(3), 24);
    QCOMPARE(ModuleFace::dotsPerSecond(-1), 192);  // no valid speed code
    const QString text = QStringLiteral("速度") + kPadding;
    qint64 previous = 1 << 30;
    for (int speed = 0; speed <= 3; ++speed) {
      ModuleFace face;
      face.showMessage(text, speed, 0);
      QCOMPARE(face.speedByte(), speed);
      const qint64 offset = face.scrollOffsetAt(1000);
      QCOMPARE(offset, ModuleFace::dotsPerSecond(speed));
      QVERIFY(offset < previous);
      previous = offset;
    }
  }

  void displayClearAndDataCue() {
    ModuleFace face;
    const qint64 shown = msFor(336, 1);
    face.showMessage(QStringLiteral("表示") + kPadding, 1, 0);
    const DotFrame before = face.frameAt(shown);
    QVERIFY(before.litCount() > 50);
    face.clearDisplay();
    QVERIFY(face.isBlank());
    QCOMPARE(face.frameAt(shown).litCount(), 0);
    QCOMPARE(face.frameAt(shown + 5000).litCount(), 0);
    // The data cue starts the stored text again from the beginning.
    face.cue(10000);
    QVERIFY(!face.isBlank());
    QCOMPARE(face.frameAt(10000).litCount(), 0);
    QCOMPARE(face.frameAt(10000 + shown), before);
    // A new message replaces the text and starts it from the beginning too.
    face.showMessage(QStringLiteral("新") + kPadding, 1, 20000);
    QCOMPARE(face.text(), QStringLiteral("新") + kPadding);
    QCOMPARE(litColumns(face.frameAt(20000 + msFor(336, 1))) <= 24, true);
  }

  void glowingDots() {
    DotFrame frame;
    QCOMPARE(brightPixels(renderFace(frame)), 0);
    frame.set(0, 0);
    frame.set(335, 23);
    frame.set(100, 12);
    const QImage image = renderFace(frame);
    QCOMPARE(image.width(), 2 * kFaceMargin + 336 * kDotPitch - 1);
    QCOMPARE(image.height(), 2 * kFaceMargin + 24 * kDotPitch - 1);
    QCOMPARE(brightPixels(image), 3 * kDotSize * kDotSize);
    QVERIFY(bright(image.pixel(dotCentre(0, 0))));
    QVERIFY(bright(image.pixel(dotCentre(335, 23))));
    QVERIFY(bright(image.pixel(dotCentre(100, 12))));
    // Unlit dots stay dark; the gap next to a lit dot catches some glow.
    const QRgb unlit = image.pixel(dotCentre(50, 5));
    QVERIFY(qGreen(unlit) < 60);
    QVERIFY(qGreen(image.pixel(dotCentre(100, 12) + QPoint(2, 0))) > qGreen(image.pixel(dotCentre(50, 5) + QPoint(2, 0))));
  }

  // The window shows a message as it scrolls in, and nothing after display clear.
  void windowFollowsTheLine() {
    FaceWindow window(QStringLiteral("/dev/pts/test"));
    window.show();
    QCOMPARE(brightPixels(window.faceImage()), 0);
    ModuleEvent message;
    message.kind = ModuleEvent::Kind::Message;
    message.frames = message.received = 1;
    message.speed = 0;
    message.ok = true;
    message.text = QStringLiteral("■■■■") + kPadding;
    window.handle(message);
    QTRY_VERIFY_WITH_TIMEOUT(brightPixels(window.faceImage()) > 200, 10000);
    QVERIFY(brightPixels(window.grab().toImage()) > 200);

    ModuleEvent clear;
    clear.kind = ModuleEvent::Kind::DisplayClear;
    window.handle(clear);
    QCOMPARE(brightPixels(window.faceImage()), 0);
    QVERIFY(window.face().isBlank());

    ModuleEvent cue;
    cue.kind = ModuleEvent::Kind::DataCue;
    window.handle(cue);
    QTRY_VERIFY_WITH_TIMEOUT(brightPixels(window.faceImage()) > 200, 10000);
  }
};

QTEST_MAIN(ModuleFaceTest)
#include "tst_module_face.moc"
