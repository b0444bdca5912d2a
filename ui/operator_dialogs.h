#pragma once

#include <QString>

#include <memory>

class QMessageBox;
class QWidget;

namespace vf {

// The program's title, shown on every message box.
inline const QString kApplicationTitle = QStringLiteral("VF3360用　シリアル制御プログラム");

// The program's message box, not yet shown: the text, an OK button only, no
// icon, the application title, and wide enough for the title (the window
// system does not widen a box for it, it cuts the title).
std::unique_ptr<QMessageBox> messageBox(QWidget *parent, const QString &text);

// The one way the program asks the operator something modal: message boxes
// and the file-open dialog. Tests install a recording stand-in so that nothing
// ever blocks on a modal window.
class OperatorDialogs {
 public:
  virtual ~OperatorDialogs() = default;

  // A modal message box: the text, an OK button only, no icon, titled with
  // the application title.
  virtual void showMessage(QWidget *parent, const QString &text) = 0;

  // The file-open dialog with the given filter ("テキストファイル (*.txt)|*.txt"
  // style: description|pattern). Empty when the operator chose nothing.
  virtual QString chooseFileToOpen(QWidget *parent, const QString &filter) = 0;

  // The dialogs in use; the real modal ones unless a stand-in is installed.
  static OperatorDialogs &current();
  // Installs a stand-in (nullptr puts the real dialogs back). Not owned.
  static void install(OperatorDialogs *dialogs);
};

}  // namespace vf
