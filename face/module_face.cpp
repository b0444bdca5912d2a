#include "face/module_face.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace vf {

int DotFrame::litCount() const {
  int count = 0;
  for (const auto &row : rows_) count += static_cast<int>(row.count());
  return count;
}

TextMask TextMask::render(const QString &text) {
  TextMask mask;
  QFont font(QStringLiteral("IPAGothic"));
  font.setPixelSize(kFaceRows);
  font.setStyleStrategy(QFont::NoAntialias);
  font.setHintingPreference(QFont::PreferFullHinting);
  const QFontMetrics metrics(font);
  // The text in runs between the marked cells, each run as one piece of text.
  const QStringList runs = text.split(kMarkedCell);
  int width = 0;
  for (const QString &run : runs) width += metrics.horizontalAdvance(run);
  mask.width_ = width + kFaceRows * static_cast<int>(runs.size() - 1);
  if (mask.width_ <= 0) {
    mask.width_ = 0;
    return mask;
  }

  // The font's ascent and descent shared out over the 24 rows.
  const int ascent = metrics.ascent();
  const int descent = std::max(0, metrics.descent());
  const int baseline = ascent + descent > 0 ? static_cast<int>(std::lround(double(kFaceRows) * ascent / (ascent + descent)))
                                            : kFaceRows;
  QImage image(mask.width_, kFaceRows, QImage::Format_Grayscale8);
  image.fill(0);
  {
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setRenderHint(QPainter::TextAntialiasing, false);
    painter.setFont(font);
    painter.setPen(Qt::white);
    int x = 0;
    for (qsizetype i = 0; i < runs.size(); ++i) {
      if (i > 0) {  // a marked cell: a box with a cross through it
        painter.drawRect(x + 1, 1, kFaceRows - 3, kFaceRows - 3);
        painter.drawLine(x + 1, 1, x + kFaceRows - 2, kFaceRows - 2);
        painter.drawLine(x + 1, kFaceRows - 2, x + kFaceRows - 2, 1);
        x += kFaceRows;
      }
      painter.drawText(x, baseline, runs[i]);
      x += metrics.horizontalAdvance(runs[i]);
    }
  }
  mask.bits_.assign(static_cast<std::size_t>(mask.width_) * kFaceRows, 0);
  for (int y = 0; y < kFaceRows; ++y) {
    const uchar *line = image.constScanLine(y);
    for (int x = 0; x < mask.width_; ++x) {
      if (line[x] >= 128) {
        mask.bits_[static_cast<std::size_t>(y) * mask.width_ + x] = 1;
        mask.lastLit_ = std::max(mask.lastLit_, x);
      }
    }
  }
  return mask;
}

void ModuleFace::showMessage(const QString &text, int speedByte, qint64 nowMs) {
  text_ = text;
  mask_ = TextMask::render(text);
  speed_ = speedByte;
  cue(nowMs);
}

void ModuleFace::replaceText(const QString &text, int speedByte, qint64 nowMs) {
  if (blank_) {
    showMessage(text, speedByte, nowMs);
    return;
  }
  const qint64 offset = scrollOffsetAt(nowMs);
  text_ = text;
  mask_ = TextMask::render(text);
  speed_ = speedByte;
  startMs_ = nowMs - (offset % period()) * 1000 / scrollDotsPerSecond(speed_);
}

void ModuleFace::clearDisplay() { blank_ = true; }

void ModuleFace::cue(qint64 nowMs) {
  startMs_ = nowMs;
  blank_ = false;
}

qint64 ModuleFace::period() const {
  return std::max<qint64>(mask_.width(), mask_.lastLitColumn() + 1 + kFaceColumns);
}

qint64 ModuleFace::scrollOffsetAt(qint64 nowMs) const {
  const qint64 elapsed = std::max<qint64>(0, nowMs - startMs_);
  return elapsed * scrollDotsPerSecond(speed_) / 1000 % period();
}

DotFrame ModuleFace::frameAt(qint64 nowMs) const {
  DotFrame frame;
  if (blank_ || mask_.width() == 0) return frame;
  // The text's first column stands at x = 336 - offset.
  const qint64 shift = scrollOffsetAt(nowMs) - kFaceColumns;
  for (int x = 0; x < kFaceColumns; ++x) {
    const qint64 column = x + shift;
    if (column < 0 || column >= mask_.width()) continue;
    for (int y = 0; y < kFaceRows; ++y) {
      if (mask_.lit(static_cast<int>(column), y)) frame.set(x, y);
    }
  }
  return frame;
}

QPoint dotCentre(int x, int y) {
  return {kFaceMargin + x * kDotPitch + kDotSize / 2, kFaceMargin + y * kDotPitch + kDotSize / 2};
}

namespace {

constexpr QRgb kGround = qRgb(6, 9, 10);
constexpr QRgb kUnlitDot = qRgb(16, 38, 36);
constexpr QRgb kLitDot = qRgb(150, 255, 225);
constexpr int kGlowRadius = 3;

QSize faceSize() {
  return {2 * kFaceMargin + kFaceColumns * kDotPitch - (kDotPitch - kDotSize),
          2 * kFaceMargin + kFaceRows * kDotPitch - (kDotPitch - kDotSize)};
}

// The dark face with every dot unlit, drawn once.
const QImage &unlitFace() {
  static const QImage image = [] {
    QImage face(faceSize(), QImage::Format_RGB32);
    face.fill(kGround);
    for (int y = 0; y < kFaceRows; ++y) {
      for (int x = 0; x < kFaceColumns; ++x) {
        const QPoint c = dotCentre(x, y);
        for (int dy = -1; dy <= 1; ++dy)
          for (int dx = -1; dx <= 1; ++dx) face.setPixel(c.x() + dx, c.y() + dy, kUnlitDot);
      }
    }
    return face;
  }();
  return image;
}

}  // namespace

QImage renderFace(const DotFrame &frame) {
  QImage face = unlitFace().copy();
  const int width = face.width();
  const int height = face.height();
  auto *pixels = reinterpret_cast<QRgb *>(face.bits());
  const qsizetype stride = face.bytesPerLine() / static_cast<qsizetype>(sizeof(QRgb));
  // A soft cyan-green glow added around each lit dot, then its bright core.
  for (int y = 0; y < kFaceRows; ++y) {
    for (int x = 0; x < kFaceColumns; ++x) {
      if (!frame.lit(x, y)) continue;
      const QPoint c = dotCentre(x, y);
      for (int dy = -kGlowRadius; dy <= kGlowRadius; ++dy) {
        for (int dx = -kGlowRadius; dx <= kGlowRadius; ++dx) {
          const int px = c.x() + dx;
          const int py = c.y() + dy;
          if (px < 0 || py < 0 || px >= width || py >= height) continue;
          const int weight = 64 / (1 + dx * dx + dy * dy);
          QRgb &p = pixels[py * stride + px];
          p = qRgb(std::min(255, qRed(p) + weight / 4), std::min(255, qGreen(p) + weight * 2),
                   std::min(255, qBlue(p) + weight * 3 / 2));
        }
      }
    }
  }
  for (int y = 0; y < kFaceRows; ++y) {
    for (int x = 0; x < kFaceColumns; ++x) {
      if (!frame.lit(x, y)) continue;
      const QPoint c = dotCentre(x, y);
      for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) pixels[(c.y() + dy) * stride + c.x() + dx] = kLitDot;
    }
  }
  return face;
}

}  // namespace vf
