#include "settings/port_dialog.h"

#include "settings/ui_port_dialog.h"
#include "settings/window_frame.h"

#include <QScreen>
#include <QStyle>

#include <algorithm>

namespace vf {

PortDialog::PortDialog(PortChoice shown, QWidget *parent)
    : QDialog(parent), ui_(std::make_unique<Ui::PortDialog>()) {
  ui_->setupUi(this);
  setWindowModality(Qt::WindowModal);
  // A title and a close box; no minimise or maximise button.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  setFixedSize(size());
  setAttribute(Qt::WA_DeleteOnClose);
  // The text is compared exactly: no completion that would turn "com 5" or
  // "C" into a listed entry behind the operator's back, and Enter in the box
  // adds nothing to the list: it presses "決定", the default button.
  ui_->portNumberBox->setCompleter(nullptr);
  ui_->portNumberBox->setInsertPolicy(QComboBox::NoInsert);
  ui_->confirmButton->setDefault(true);
  connect(ui_->confirmButton, &QPushButton::clicked, this, &PortDialog::confirm);
  if (shown.portNum >= 1 && shown.portNum <= kMaxPortNumber) ui_->portNumberBox->setCurrentIndex(shown.portNum - 1);
  (shown.kind == ConnectionKind::UsbConverter ? ui_->usbConverterOption : ui_->rs232cOption)->setChecked(true);
  ui_->portNumberBox->setFocus();
}

PortDialog::~PortDialog() = default;

void PortDialog::setVisible(bool visible) {
  if (visible && !isVisible()) fitTitleAndCentre();
  QDialog::setVisible(visible);
}

void PortDialog::fitTitleAndCentre() {
  // The title bar holds the title beside the window system's icon and close
  // box, each about as wide as the bar is high; the controls stay in the middle.
  QWidget *over = parentWidget() ? parentWidget()->window() : nullptr;
  const int titleBar = std::max(style()->pixelMetric(QStyle::PM_TitleBarHeight), over ? frameMargins(over).top() : 0);
  const int wide = fontMetrics().horizontalAdvance(windowTitle()) + 4 * titleBar;
  if (width() < wide) {
    for (QWidget *child : findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) child->move(child->pos() + QPoint((wide - width()) / 2, 0));
    setFixedSize(wide, height());
  }
  // Placed before it is shown: by its frame, as the window system takes it then.
  if (over) over->installEventFilter(this);
  centreOverParent();
}

void PortDialog::moveEvent(QMoveEvent *event) {
  QDialog::moveEvent(event);
  // Framed now: centred once more by its own frame.
  if (placement_.framedSince(this)) centreOverParent();
}

bool PortDialog::eventFilter(QObject *watched, QEvent *event) {
  // It follows the main window (the window system places and frames that after
  // its first show) until the operator moves it.
  if (event->type() == QEvent::Move && placement_.untouched(this)) centreOverParent();
  return QDialog::eventFilter(watched, event);
}

void PortDialog::centreOverParent() {
  const QWidget *over = parentWidget() ? parentWidget()->window() : nullptr;
  if (!over) return;
  QRect place(QPoint(), size().grownBy(assumedFrame(this, over)));
  place.moveCenter(over->frameGeometry().center());
  // Kept on the main window's screen.
  const QRect screen = over->screen()->availableGeometry();
  placement_.moveTo(this, {std::clamp(place.left(), screen.left(), std::max(screen.left(), screen.right() + 1 - place.width())),
                           std::clamp(place.top(), screen.top(), std::max(screen.top(), screen.bottom() + 1 - place.height()))});
}

void PortDialog::confirm() {
  if (confirmed_) return;
  confirmed_ = true;
  emit confirmed({listedPortNumber(ui_->portNumberBox->currentText()),
                  ui_->usbConverterOption->isChecked() ? ConnectionKind::UsbConverter : ConnectionKind::Rs232c,
                  ui_->keepSettingCheck->isChecked()});
  accept();
}

}  // namespace vf
