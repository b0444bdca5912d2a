#pragma once

#include "protocol/port_code.h"
#include "settings/port_settings.h"

#include <QString>

#include <optional>
#include <vector>

namespace vf {

// The port status whenever no port is open: "ポートクローズ", with why in
// brackets where there is more to say ("ポートクローズ（ポート選択中）").
inline const QString kPortClosedText = QStringLiteral("ポートクローズ");
QString closedPortStatusText(const QString &why);

// The port status after a successful open: "オープン CommPort=3 Settings=19200,N,8,1 USB変換".
QString openPortStatusText(int portNum, ConnectionKind kind);

// What the operator answered in the port selection dialog.
struct PortAnswer {
  std::optional<int> portNum;  // 1 .. 16; none when the port box names no listed port
  ConnectionKind kind = ConnectionKind::Rs232c;  // the selected option
  bool keep = false;  // "設定を保持"
};

// The port number an entry of the port box names: exactly "Com 1" .. "Com 16",
// nothing else (not "com 5", not "COM 12", not "Com 17").
std::optional<int> listedPortNumber(const QString &entry);

// One thing start-up or the port change asks the window to do.
struct PortAction {
  enum class Kind {
    ShowMessage,     // a modal message box with `text`
    WriteFile,       // replace portnum.ini with the line `text`; `quiet`: a failure is not told
    ShowMainWindow,
    ShowDialog,      // show a new port selection dialog, on portNum and portKind
    RaiseDialog,     // bring the dialog that waits to the front
    StopAutoUpdate,  // the auto-update timer off and its check box cleared (its own handling runs)
    ClosePort,
    OpenPort,        // run the opening sequence for portNum and portKind; answer with portOpened()
    ShowStatus,      // the port status label reads `text`
  };
  Kind kind;
  QString text;
  bool quiet = false;
  int portNum = 0;
  ConnectionKind portKind = ConnectionKind::Rs232c;

  bool operator==(const PortAction &) const = default;
};
using PortActions = std::vector<PortAction>;

// Start-up and the port change command as a state machine: it is told what
// happened (the file as found, the operator's answer, the dialog closing, the
// result of opening) and answers with what to do next, in order. It touches
// no file, window or port itself.
//
// Start-up: a missing portnum.ini is announced and created with the default
// "1"; a stored port code is opened without asking; otherwise, and after
// every failed open, the dialog asks (the file then holds "0" while it is
// open). Port change: auto update off, port closed, the dialog asks, the
// chosen port is opened; a failed open asks again. An answer that is no port
// number is refused and asked again, at start-up as during a port change: it
// changes nothing, not the port number, not the kind, not portnum.ini. The
// dialog shows the port chosen last (the one in use, the one that did not
// open, the stored one), else Com 1 RS-232C; while no port is open the
// status says so, and why.
//
// The dialog closed without an answer (Esc, its close box): at start-up the
// main window comes up with the port closed, and "ポート変更" asks again;
// during a port change the port that was open before is opened again.
class PortSetup {
 public:
  static inline const QString kCreatingFile = QStringLiteral("初期設定ファイル portnum.ini を作成します");
  static inline const QString kChoosePort = QStringLiteral("ポート番号を選択してください");
  static inline const QString kPortDidNotOpen = QStringLiteral("ポートが開けませんでした");

  // The window has loaded: whether portnum.ini exists, and its first line.
  PortActions startUp(bool fileExists, const StoredPortLine &line);
  // "ポート変更".
  PortActions changePort();
  // "決定": what happens before the dialog closes.
  PortActions confirmed(const PortAnswer &answer);
  // The dialog has closed after "決定".
  PortActions dialogClosed();
  // The dialog has closed without an answer.
  PortActions noAnswer();
  // The result of an OpenPort action; `failure` is the device and reason.
  PortActions portOpened(bool open, const QString &failure = {});

 private:
  // Why the dialog is shown; it decides whether portnum.ini holds "0" while
  // the dialog is open.
  enum class DialogCause {
    StoredLine,      // start-up: the stored line asks for a port ("0" only over a blank line)
    DefaultWritten,  // start-up has just written the default "1" ("0" over it)
    PortChange,      // "ポート変更" (the file is left as it is)
  };

  void rewriteDefault(PortActions &actions, const QString &why);
  void showDialog(PortActions &actions, DialogCause cause, const QString &why);
  void beginChange(PortActions &actions, const QString &why);
  void open(PortActions &actions) const;

  StoredPortLine startLine_;
  bool dialogOpen_ = false;
  bool started_ = false;
  bool refused_ = false;  // the last answer named no listed port
  std::optional<PortChoice> chosen_;      // the port to open: the one chosen last; none yet
  std::optional<PortChoice> lastOpened_;  // the port that was open last
};

}  // namespace vf
