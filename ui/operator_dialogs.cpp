#include "ui/operator_dialogs.h"

#include "ui/message_wrap.h"

#include <QFileDialog>
#include <QGridLayout>
#include <QMessageBox>

#include <algorithm>

namespace vf {
namespace {

class ModalDialogs : public OperatorDialogs {
 public:
  void showMessage(QWidget *parent, const QString &text) override { messageBox(parent, text)->exec(); }

  QString chooseFileToOpen(QWidget *parent, const QString &filter) override {
    // "description|pattern" -> Qt's "description (pattern)" form.
    const qsizetype bar = filter.indexOf(u'|');
    const QString qtFilter = bar < 0 ? filter : filter.left(bar);
    return QFileDialog::getOpenFileName(parent, QString(), QString(), qtFilter);
  }
};

OperatorDialogs *installed = nullptr;

}  // namespace

std::unique_ptr<QMessageBox> messageBox(QWidget *parent, const QString &text) {
  auto box = std::make_unique<QMessageBox>(QMessageBox::NoIcon, kApplicationTitle, QString(), QMessageBox::Ok, parent);
  box->setTextFormat(Qt::PlainText);  // a device's or a file's name is shown as it is, never as markup
  // Lines of at most 32 full-width characters, broken between phrases; narrower
  // than the box's own limit, so that it breaks none inside a word.
  const QFontMetrics metrics(box->font());
  box->setText(wrapAtPhrases(text, metrics, std::min(metrics.horizontalAdvance(QString(32, QChar(0x3042))), 480)));
  // The title in the title bar's font, with room for the bar's own buttons.
  QFont titleFont = box->font();
  titleFont.setBold(true);
  const int titleWidth = QFontMetrics(titleFont).horizontalAdvance(kApplicationTitle) + 4 * titleFont.pointSize() * 4;
  if (auto *grid = qobject_cast<QGridLayout *>(box->layout())) {
    grid->addItem(new QSpacerItem(titleWidth, 0, QSizePolicy::Minimum, QSizePolicy::Fixed), grid->rowCount(), 0, 1,
                  grid->columnCount());
  }
  return box;
}

OperatorDialogs &OperatorDialogs::current() {
  static ModalDialogs modal;
  return installed ? *installed : modal;
}

void OperatorDialogs::install(OperatorDialogs *dialogs) { installed = dialogs; }

}  // namespace vf
