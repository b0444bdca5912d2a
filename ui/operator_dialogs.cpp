#include "ui/operator_dialogs.h"

#include <QFileDialog>
#include <QMessageBox>

namespace vf {
namespace {

class ModalDialogs : public OperatorDialogs {
 public:
  void showMessage(QWidget *parent, const QString &text) override {
    QMessageBox box(QMessageBox::NoIcon, kApplicationTitle, text, QMessageBox::Ok, parent);
    box.exec();
  }

  QString chooseFileToOpen(QWidget *parent, const QString &filter) override {
    // "description|pattern" -> Qt's "description (pattern)" form.
    const qsizetype bar = filter.indexOf(u'|');
    const QString qtFilter = bar < 0 ? filter : filter.left(bar);
    return QFileDialog::getOpenFileName(parent, QString(), QString(), qtFilter);
  }
};

OperatorDialogs *installed = nullptr;

}  // namespace

OperatorDialogs &OperatorDialogs::current() {
  static ModalDialogs modal;
  return installed ? *installed : modal;
}

void OperatorDialogs::install(OperatorDialogs *dialogs) { installed = dialogs; }

}  // namespace vf
