#pragma once

#include <QDialog>
#include <QString>

#include <functional>

#include <memory>

namespace Ui {
class frmAbout;
}

// The About window: title, version and description of the program, and a
// button that starts the system's information program where there is one.
// Non-modal; it closes and destroys itself on "OK", Enter or Esc.
class frmAbout : public QDialog {
  Q_OBJECT

 public:
  // How a message reaches the operator (a modal message box).
  using TellOperator = std::function<void(QWidget *parent, const QString &text)>;

  // ownDevice: the serial device the program has open, for the system
  // information (empty: none).
  explicit frmAbout(TellOperator tell, QWidget *parent = nullptr, QString ownDevice = {});
  ~frmAbout() override;

  void Form_Load();
  void cmdOK_Click();
  void cmdSysInfo_Click();

  // Finds and starts the system information program; tells the operator when
  // there is none to start. Where the system has none (Linux), shows the
  // program's own window with what a support call needs.
  void StartSysInfo();

  // Reads one value from the registry: KeyRoot is the root key's name
  // ("HKEY_LOCAL_MACHINE"), KeyName the key's path, SubKeyRef the value's
  // name. True with the value as text in KeyVal (a string as it stands, a
  // 32-bit number as "&h" and its hexadecimal digits); false with KeyVal
  // empty when the key or the value cannot be read. Only Windows has a
  // registry; elsewhere the answer is always false.
  static bool GetKeyValue(const QString &KeyRoot, const QString &KeyName, const QString &SubKeyRef, QString &KeyVal);

 protected:
  // Esc presses "OK".
  void reject() override;

 private:
  std::unique_ptr<Ui::frmAbout> ui_;
  TellOperator tell_;
  QString ownDevice_;
};
