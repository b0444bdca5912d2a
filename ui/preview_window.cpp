#include "ui/preview_window.h"

#include "encoder/message_builder.h"
#include "encoder/text_check.h"
#include "face/face_widget.h"
#include "protocol/face_text.h"

#include <QCloseEvent>
#include <QLabel>
#include <QVBoxLayout>

namespace vf {

PreviewWindow::PreviewWindow(QWidget *parent)
    : QWidget(parent, Qt::Tool), face_(new FaceWidget(this)), counts_(new QLabel(this)) {
  setObjectName(QStringLiteral("PreviewWindow"));
  setWindowTitle(QStringLiteral("プレビュー"));
  auto *layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(face_);
  layout->addWidget(counts_);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  counts_->setContentsMargins(8, 4, 8, 4);
}

void PreviewWindow::fitWithin(QSize room) {
  face_->fitWithin(room - QSize(0, counts_->sizeHint().height()));
  adjustSize();
}

qreal PreviewWindow::faceScale() const { return face_->scale(); }

void PreviewWindow::showText(const QString &text, int speedOption) {
  const TextCheck check = checkText(text);
  QString counts = QStringLiteral("文字数 %1／%2").arg(check.characters).arg(kMaxInputLength);
  counts += check.characters <= kMaxInputLength ? QStringLiteral("（残り %1）").arg(kMaxInputLength - check.characters)
                                                 : QStringLiteral("（%1 文字オーバー）").arg(check.characters - kMaxInputLength);
  counts += QStringLiteral("　フレーム数 %1　使用できない文字 %2").arg(check.frames).arg(check.unusable.size());
  counts_->setText(counts);

  const BuiltMessage message = buildMessage(text, speedOption);
  if (message.outcome != RunOutcome::Sent) {
    face_->clearDisplay();
    return;
  }
  const FaceText shown = faceTextOf(message);
  face_->replaceText(shown.text, shown.speedByte);
}

QString PreviewWindow::faceText() const { return face_->face().isBlank() ? QString() : face_->face().text(); }

QString PreviewWindow::countsText() const { return counts_->text(); }

const ModuleFace &PreviewWindow::face() const { return face_->face(); }

void PreviewWindow::closeEvent(QCloseEvent *event) {
  event->accept();
  emit closedByOperator();
}

void PreviewWindow::moveEvent(QMoveEvent *) { emit placed(); }

}  // namespace vf
