#pragma once

#include "about/system_info.h"

#include <QDialog>
#include <QString>

#include <functional>

#include <memory>

namespace vf {

namespace Ui {
class AboutWindow;
}

// The About window: title, version and description of the program, and a
// button that starts the system's information program where there is one.
// Non-modal; it closes and destroys itself on "OK", Enter or Esc.
class AboutWindow : public QDialog {
  Q_OBJECT

 public:
  // How a message reaches the operator (a modal message box).
  using TellOperator = std::function<void(QWidget *parent, const QString &text)>;

  // devices: the program's serial devices, for the system information.
  explicit AboutWindow(TellOperator tell, QWidget *parent = nullptr, ProgramDevices devices = {});
  ~AboutWindow() override;

  // Finds and starts the system information program; tells the operator when
  // there is none to start. Where the system has none (Linux), shows the
  // program's own window with what a support call needs.
  void showSystemInfo();

  // Reads one value from the registry: rootKey is the root key's name
  // ("HKEY_LOCAL_MACHINE"), keyPath the key's path, valueName the value's
  // name. True with the value as text in value (a string as it stands, a
  // 32-bit number as "&h" and its hexadecimal digits); false with value
  // empty when the key or the value cannot be read. Only Windows has a
  // registry; elsewhere the answer is always false.
  static bool readRegistryValue(const QString &rootKey, const QString &keyPath, const QString &valueName, QString &value);

 protected:
  // Esc presses "OK".
  void reject() override;

 private:
  std::unique_ptr<Ui::AboutWindow> ui_;
  TellOperator tell_;
  ProgramDevices devices_;
};

}  // namespace vf
