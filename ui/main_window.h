#pragma once

#include "encoder/run_presentation.h"
#include "link/module_link.h"
#include "session/display_session.h"
#include "settings/port_setup.h"
#include "settings/window_frame.h"

#include <QHash>
#include <QProgressBar>
#include <QMainWindow>
#include <QPointer>
#include <QTimer>

#include <array>
#include <functional>
#include <memory>
#include <optional>

namespace vf {

namespace Ui {
class MainWindow;
}
class AboutWindow;
class PortDialog;
class TextField;
class PreviewWindow;
class PortSettingsFile;

// The main window: the operator's input, every intermediate form of the
// conversion, the command buttons, the speed choice, auto update and the
// menus. Its handlers are glue: the encoder builds and presents each
// convert-and-send, the display session drives the module over its serial
// line (the message, the update ticks, auto update, the cue reply, a lost
// device), and the port setup decides start-up and the port change.
class MainWindow : public QMainWindow {
  Q_OBJECT

 public:
  // Where the window meets its surroundings.
  struct Setup {
    // The folder of portnum.ini; empty: the program's folder (or the
    // per-user configuration folder when that is not writable).
    QString settingsFolder;
    // The device opened for a port number and kind; empty: the device the
    // number names. "--device PATH" opens PATH for every number.
    ModuleLink::DeviceNamer deviceNamer;
    // The PATH of "--device PATH", for the system information; empty: none.
    QString givenDevice;
    // What "終了" does once the port is closed; empty: end the program at once.
    std::function<void()> endProgram;
    // Where the window remembers whether the preview was open and where;
    // empty: vf3360/window.ini in the per-user configuration folder.
    QString windowStateFile;
  };

  explicit MainWindow(Setup setup = {}, QWidget *parent = nullptr);
  ~MainWindow() override;

  // Runs the start-up: reads or creates portnum.ini, asks for a port when
  // none is stored, opens the port and asks again until one opens. The window
  // shows itself when the port dialog appears, or once the stored port is open.
  void startUp();

 protected:
  void showEvent(QShowEvent *event) override;
  void moveEvent(QMoveEvent *event) override;
  // The close box and Alt+F4: as "終了", once the last byte has left.
  void closeEvent(QCloseEvent *event) override;

 private slots:
  // The buttons; the menu items of the same captions press them.
  void convertAndSend();   // 変換 + 送信
  void clearAllText();     // 全テキストクリア
  void endProgram();       // 終了
  void clearDisplay();     // VF3360表示クリア
  void changePort();       // ポート変更
  void countCharacters();  // → 合計文字数計算
  void sendDataCue();      // VF3360データ頭だし
  void loadTextFile();     // .txtファイル読み込み

  // Auto update: the check box's state applied (制御 → 自動更新, and before
  // every convert-and-send).
  void applyAutoUpdate();

  // The operator's text has changed: its unusable characters are marked and
  // the preview follows.
  void markUnusableCharacters();
  // 表示 → プレビュー.
  void setPreviewOpen(bool open);
  // 情報 → バージョン情報.
  void showAbout();

  // The device has gone away; the link has closed the port.
  void showDeviceLost();

 private:
  void connectHandlers();
  void showSteps(const std::vector<RunStep> &steps);
  // The control that shows a field of a run (frame: 1 .. 16, for FramePacket).
  QWidget *controlShowing(RunField field, int frame) const;
  std::array<TextField *, kMaxFrames> framePacketFields() const;
  // The fields that show results.
  std::vector<QWidget *> outputFields() const;
  void showMessage(const QString &text);
  void sendOrTell(CommandCode code);
  int selectedSpeedOption() const;
  void selectSpeed(int speed);
  void showAutoUpdateState();
  // The end ("終了" or the close box): nothing more goes out, the controls
  // are disabled, and `then` runs once the last byte has left and the port
  // has closed.
  void endOnceSent(std::function<void()> then);
  PortSettingsFile settingsFile() const;
  // Carries out the actions from `from` on; closing the port waits until the
  // last byte has left.
  void carryOut(const PortActions &actions, std::size_t from = 0);
  void showSendProgress(ModuleLink::SendProgress progress);
  // Places the preview by its frame: at its remembered place where that frame
  // lies whole on a screen, else afresh beside the main window on its screen.
  void placePreview();
  void showPortDialog(PortChoice shown);
  void updatePreview();
  void saveWindowState();

  std::unique_ptr<Ui::MainWindow> ui_;
  Setup setup_;
  DisplaySession session_;
  ModuleLink &link_;
  PortSetup portSetup_;
  mutable std::optional<QString> settingsFolder_;
  QPointer<PortDialog> portDialog_;
  QPointer<AboutWindow> about_;
  QPointer<PreviewWindow> preview_;
  QTimer previewDue_;  // the preview follows the typing a moment later
  QTimer stateDue_;    // the window state is written once moving has stopped
  bool previewRestored_ = false;
  std::optional<QRect> previewRemembered_;  // where the preview's frame was when it was last open
  FramePlacement previewPlacement_;         // where the preview was placed last
  bool ending_ = false;  // "終了" or the close box waits for the last byte
  QProgressBar *sendProgress_ = nullptr;
  qint64 sentSinceIdle_ = 0;  // bytes written since the line was last idle
};

}  // namespace vf
