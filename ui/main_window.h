#pragma once

#include "encoder/run_presentation.h"
#include "link/module_link.h"
#include "settings/port_setup.h"

#include <QHash>
#include <QProgressBar>
#include <QMainWindow>
#include <QPointer>
#include <QTimer>

#include <array>
#include <functional>
#include <memory>
#include <optional>

namespace Ui {
class Form1;
}
namespace vf {
class Form2;
class TextField;
class PreviewWindow;
class PortSettingsFile;
}  // namespace vf
class frmAbout;

// The main window: the operator's input, every intermediate form of the
// conversion, the command buttons, the speed choice, auto update and the
// menus. Its handlers are glue: the encoder builds and presents each
// convert-and-send, the module link owns the serial port MSComm1, and the
// port setup decides start-up and the port change.
class Form1 : public QMainWindow {
  Q_OBJECT

 public:
  // Where the window meets its surroundings.
  struct Setup {
    // The folder of portnum.ini; empty: the program's folder (or the
    // per-user configuration folder when that is not writable).
    QString settingsFolder;
    // The device opened for a port number and kind; empty: the device the
    // number names. "--device PATH" opens PATH for every number.
    vf::ModuleLink::DeviceNamer deviceNamer;
    // What "終了" does once the port is closed; empty: end the program at once.
    std::function<void()> endProgram;
    // Where the window remembers whether the preview was open and where;
    // empty: vf3360/window.ini in the per-user configuration folder.
    QString windowStateFile;
  };

  explicit Form1(Setup setup = {}, QWidget *parent = nullptr);
  ~Form1() override;

  // Runs the start-up: reads or creates portnum.ini, asks for a port when
  // none is stored, opens the port and asks again until one opens. The window
  // shows itself when the port dialog appears, or once the stored port is open.
  void Form_Load();

  // Buttons.
  void Command1_Click();  // 変換 + 送信
  void Command2_Click();  // 全テキストクリア
  void Command3_Click();  // 終了
  void Command4_Click();  // VF3360表示クリア
  void Command5_Click();  // ポート変更
  void Command6_Click();  // → 合計文字数計算
  void Command7_Click();  // VF3360データ頭だし
  void Command8_Click();  // .txtファイル読み込み

  // Auto update.
  void Check1_Click();
  void Timer1_Timer();
  void Reload_Click();
  void ApplyAutoUpdate();

  // Scroll speed menu.
  void HHi_Click();
  void Hi_Click();
  void HMid_Click();
  void Mid_Click();
  void Lo_Click();

  // The operator's text has changed: its unusable characters are marked and
  // the preview follows.
  void Text3_Change();
  // 表示 → プレビュー.
  void Preview_Click();

  // Menu items that press a button, and the About window.
  void New_Click();
  void Load_Click();
  void End_Click();
  void Clear_Click();
  void count_Click();
  void ChangeSend_Click();
  void ReBigin_Click();
  void RSClear_Click();
  void VerInf_Click();

  // One event of the serial port.
  void MSComm1_OnComm(const vf::LinkEvent &event);

 protected:
  void showEvent(QShowEvent *event) override;
  // The close box and Alt+F4: as "終了", once the last byte has left.
  void closeEvent(QCloseEvent *event) override;

 private:
  void connectHandlers();
  void showSteps(const std::vector<vf::RunStep> &steps);
  // Where each part of a run shows, and the fields that show results.
  QWidget *fieldOf(vf::RunField field, int frame) const;
  std::array<vf::TextField *, vf::kMaxFrames> frameFields() const;
  std::vector<QWidget *> outputFields() const;
  void showMessage(const QString &text);
  void sendOrTell(vf::CommandCode code);
  int selectedSpeedOption() const;
  void selectSpeed(int speed);
  void enableTimer1();
  vf::PortSettingsFile settingsFile() const;
  // Carries out the actions from `from` on; closing the port waits until the
  // last byte has left.
  void carryOut(const vf::PortActions &actions, std::size_t from = 0);
  void showSendProgress(vf::ModuleLink::SendProgress progress);
  void placePreview();
  void showPortDialog();
  void updatePreview();
  void setPreviewOpen(bool open);
  void saveWindowState();

  std::unique_ptr<Ui::Form1> ui_;
  Setup setup_;
  vf::ModuleLink link_;
  vf::PortSetup portSetup_;
  QTimer Timer1;
  mutable std::optional<QString> settingsFolder_;
  QPointer<vf::Form2> portDialog_;
  QPointer<frmAbout> about_;
  QPointer<vf::PreviewWindow> preview_;
  QTimer previewDue_;  // the preview follows the typing a moment later
  QTimer stateDue_;    // the window state is written once moving has stopped
  bool previewRestored_ = false;
  bool ending_ = false;  // "終了" or the close box waits for the last byte
  QProgressBar *sendProgress_ = nullptr;
};
