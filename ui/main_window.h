#pragma once

#include "link/control_command.h"
#include "link/receive_handling.h"
#include "settings/port_settings.h"

#include <QByteArray>
#include <QMainWindow>
#include <QPointer>
#include <QSerialPort>
#include <QTimer>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace Ui {
class Form1;
}
namespace vf {
class Form2;
class TextField;
struct ConvertRunResult;
}  // namespace vf
class frmAbout;

// The main window: the operator's input, every intermediate form of the
// conversion, the command buttons, the speed choice, auto update and the menus.
// It owns the program's one serial port, MSComm1.
class Form1 : public QMainWindow {
  Q_OBJECT

 public:
  explicit Form1(QWidget *parent = nullptr);
  ~Form1() override;

  // Runs once after the window is shown: reads or creates portnum.ini, asks
  // for a port when none is stored, and opens the port, asking again until
  // one opens.
  void Form_Load();

  // Where portnum.ini lives; by default the program's folder (or the
  // per-user configuration folder when that is not writable), chosen once.
  void setSettingsFolder(const QString &folder) { settings_.emplace(folder); }
  vf::PortSettingsFile settings();

  // The device opened for a port number and kind. By default the device the
  // number names (/dev/ttyS2 for RS-232C port 3, ...); "--device PATH" opens
  // PATH for every port number.
  using DeviceNamer = std::function<QString(int portNum, int portKind)>;
  void setDeviceNamer(DeviceNamer namer) { deviceNamer_ = std::move(namer); }

  // How received bytes are gathered into one receive event.
  void setReceiveTiming(vf::ReceiveBurstGatherer::Timing timing);
  const vf::ReceiveBurstGatherer &receiveGatherer() const { return *gatherer_; }

  // The window's controls, by their names.
  Ui::Form1 &ui() { return *ui_; }
  // The serial port (MSComm1) and the auto-update timer (Timer1).
  QSerialPort &port() { return MSComm1; }
  QTimer &timer1() { return Timer1; }

  // The only place that writes to the serial port: one write of the whole
  // byte sequence. Writes nothing and returns false when the port is not open
  // or does not take the bytes.
  bool WriteToPort(const QByteArray &bytes);
  // The seven-byte control command for code and parameter, as one write.
  bool SendControlCommand(vf::CommandCode code, std::uint8_t parameter = 0x00);

  // What "終了" does once the port is closed: end the program at once. Tests
  // put something harmless in its place.
  void setEndProgram(std::function<void()> endProgram) { endProgram_ = std::move(endProgram); }

  // The About window while it is open.
  frmAbout *aboutWindow() const;

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

  // Hands every write of a message to the port in order, in one go; stops at
  // the first write the port does not take.
  bool SendMessage(const std::vector<QByteArray> &writes);

  // One event of the serial port: a burst of received bytes or an error.
  void MSComm1_OnComm(const vf::PortEvent &event);

 private:
  void connectHandlers();
  void setHeadingFonts();
  void applyRun(const vf::ConvertRunResult &run);
  void showMessage(const QString &text);
  void reportFailedWrite();
  int selectedSpeedOption() const;
  void selectSpeed(int speed);
  void enableTimer1();
  void connectPortEvents();
  void showPortDialogAndWait();
  bool openPortOfPortState();

  std::unique_ptr<Ui::Form1> ui_;
  std::array<vf::TextField *, 16> frameFields_{};
  QSerialPort MSComm1;
  // Declared after MSComm1: it watches the port and goes before it.
  std::unique_ptr<vf::ReceiveBurstGatherer> gatherer_;
  QTimer Timer1;
  std::optional<vf::PortSettingsFile> settings_;
  DeviceNamer deviceNamer_;
  QPointer<vf::Form2> portDialog_;
  QPointer<frmAbout> about_;
  std::function<void()> endProgram_;
};
