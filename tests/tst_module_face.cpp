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

// The first and the last column with a lit dot; -1, -1 when none is lit.
std::pair<int, int> litColumns(const DotFrame &frame) {
  std::pair<int, int> span{-1, -1};
  for (int x = 0; x < kFaceColumns; ++x)
    for (int y = 0; y < kFaceRows; ++y)
      if (frame.lit(x, y)) {
        if (span.first < 0) span.first = x;
        span.second = x;
      }
  return span;
}

// Milliseconds after which the text has moved `dots` at speed 0.
qint64 msFor(int dots) { return qint64(dots) * 1000 / 192; }

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
  void textIsDrawn24DotsHigh() {
    QCOMPARE(QFontInfo(QFont(QStringLiteral("IPAGothic"))).family(), QStringLiteral("IPAGothic"));
    const TextMask kanji = TextMask::render(QStringLiteral("漢字"));
    QCOMPARE(kanji.width(), 48);  // full-width characters are 24 dots wide
    QList<int> rows;  // the rows with a lit dot: a kanji fills most of the 24
    for (int y = 0; y < kFaceRows; ++y)
      for (int x = 0; x < kanji.width(); ++x)
        if (kanji.lit(x, y) && !rows.contains(y)) rows << y;
    QVERIFY(rows.size() >= 18);
    QVERIFY(kanji.lastLitColumn() > 24);  // 字 is drawn too
    QCOMPARE(TextMask::render(kPadding).lastLitColumn(), -1);
  }

  void scrollsFromRightToLeft() {
    ModuleFace face;
    face.showMessage(QStringLiteral("漢字") + kPadding, 0, 1000);
    QCOMPARE(face.frameAt(1000).litCount(), 0);  // it enters at the right edge
    // After 24 dots the first character stands in the last 24 columns.
    QVERIFY(litColumns(face.frameAt(1000 + msFor(24))).first >= kFaceColumns - 24);
    // After 336 dots both characters stand at the left edge.
    const auto [first, last] = litColumns(face.frameAt(1000 + msFor(336)));
    QVERIFY(first >= 0 && first < 24);
    QVERIFY(last > 24 && last < 48);
    // Once the text and its blanks have passed, the next pass begins the same way.
    QCOMPARE(face.period(), 48 + 14 * 24);
    QCOMPARE(face.frameAt(1000 + msFor(48 + 336 + 24)), face.frameAt(1000 + msFor(24)));
  }

  void fourRatesFastestForCodeZero() {
    const int dotsPerSecond[] = {192, 96, 48, 24};
    for (int speed = -1; speed <= 3; ++speed) {  // -1: no valid speed code, as fast as code 0
      ModuleFace face;
      face.showMessage(QStringLiteral("速度") + kPadding, speed, 0);
      QCOMPARE(face.scrollOffsetAt(1000), dotsPerSecond[std::max(speed, 0)]);
    }
  }

  void displayClearAndDataCue() {
    ModuleFace face;
    const qint64 shown = msFor(336);
    face.showMessage(QStringLiteral("表示") + kPadding, 0, 0);
    const DotFrame before = face.frameAt(shown);
    QVERIFY(before.litCount() > 50);
    face.clearDisplay();
    QVERIFY(face.isBlank());
    QCOMPARE(face.frameAt(shown + 5000).litCount(), 0);
    // The data cue starts the stored text again from the beginning.
    face.cue(10000);
    QVERIFY(!face.isBlank());
    QCOMPARE(face.frameAt(10000).litCount(), 0);
    QCOMPARE(face.frameAt(10000 + shown), before);
    // A new message replaces the text and starts it from the beginning too.
    face.showMessage(QStringLiteral("新") + kPadding, 0, 20000);
    QVERIFY(litColumns(face.frameAt(20000 + shown)).second < 24);
  }

  void glowingDots() {
    DotFrame frame;
    QCOMPARE(brightPixels(renderFace(frame)), 0);
    const QList<QPoint> dots{{0, 0}, {335, 23}, {100, 12}};
    for (const QPoint &d : dots) frame.set(d.x(), d.y());
    const QImage image = renderFace(frame);
    QCOMPARE(brightPixels(image), 3 * kDotSize * kDotSize);
    for (const QPoint &d : dots) QVERIFY(bright(image.pixel(dotCentre(d.x(), d.y()))));
    // Unlit dots stay dark; the gap next to a lit dot catches some glow.
    QVERIFY(qGreen(image.pixel(dotCentre(50, 5))) < 60);
    QVERIFY(qGreen(image.pixel(dotCentre(100, 12) + QPoint(2, 0))) > qGreen(image.pixel(dotCentre(50, 5) + QPoint(2, 0))));
  }

  // The window shows a message as it scrolls in, nothing after display clear,
  // and the message again after the data cue.
  void windowFollowsTheLine() {
    FaceWindow window(QStringLiteral("/dev/pts/test"));
    window.show();
    QCOMPARE(brightPixels(window.faceImage()), 0);
    auto handle = [&](ModuleEvent::Kind kind) {
      ModuleEvent e;
      e.kind = kind;
      e.speed = 0;
      e.text = QStringLiteral("■■■■") + kPadding;
      window.handle(e);
    };
    handle(ModuleEvent::Kind::Message);
    QTRY_VERIFY_WITH_TIMEOUT(brightPixels(window.faceImage()) > 200, 10000);
    QVERIFY(brightPixels(window.grab().toImage()) > 200);
    handle(ModuleEvent::Kind::DisplayClear);
    QCOMPARE(brightPixels(window.faceImage()), 0);
    handle(ModuleEvent::Kind::DataCue);
    QTRY_VERIFY_WITH_TIMEOUT(brightPixels(window.faceImage()) > 200, 10000);
  }
};

QTEST_MAIN(ModuleFaceTest)
#include "tst_module_face.moc"
