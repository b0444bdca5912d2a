#pragma once

#include <QString>
#include <QWidget>

class QLabel;

namespace vf {
class FaceWidget;
class ModuleFace;

// The module's face as the next "変換 + 送信" would leave it, with the counts
// of the message: how many characters it has and how many of the 2033 remain,
// how many frames it takes and how many characters the module has no code
// for. The face is drawn from the bytes the message builder produces, read
// back by the module-side decoder, so it cannot disagree with the line; a
// character without a code is drawn as a marked cell, and what follows it in
// its frame not at all, as the module shows it.
class PreviewWindow : public QWidget {
  Q_OBJECT
 public:
  explicit PreviewWindow(QWidget *parent = nullptr);

  // Within this size (title bar not included): the face is scaled down to fit.
  void fitWithin(QSize room);

  // Shows what the text would make with the speed option (1 .. 5).
  void showText(const QString &text, int speedOption);

  // The text on the face (kMarkedCell for a character without a code) and the counts.
  QString faceText() const;
  QString countsText() const;
  const ModuleFace &face() const;
  // How far the face is scaled down to fit: 1 at its own size.
  qreal faceScale() const;

 signals:
  void closedByOperator();
  void placed();  // moved or resized

 protected:
  void closeEvent(QCloseEvent *event) override;
  void moveEvent(QMoveEvent *event) override;

 private:
  FaceWidget *face_;
  QLabel *counts_;
};

}  // namespace vf
