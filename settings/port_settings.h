#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace vf {

// Kinds of connection, as PortKind holds them.
inline constexpr int kKindRs232c = 0;
inline constexpr int kKindUsbConverter = 1;  // "USB変換"

inline constexpr int kMaxPortNumber = 16;
inline constexpr int kMaxPortCode = 32;  // 1 .. 16 RS-232C, 17 .. 32 converter

// The program-wide port state. One instance for the whole run, used on the
// user-interface thread only by the main window, the port selection dialog and
// the receive handling. Every value starts at 0.
struct PortState {
  int PortNum = 0;       // port number 1 .. 16; 0: none chosen
  int PortKind = kKindRs232c;
  int PortChosen = 0;    // the port selection dialog has been confirmed
  int IniRewritten = 0;  // start-up has just written the default code "1"
  int PortChanging = 0;  // the dialog was opened by "ポート変更"
};

PortState &portState();
// Puts every value back to 0 (a fresh start; used by tests).
void resetPortState();

// Port number and kind named by a port code.
struct PortChoice {
  int portNum = 0;
  int portKind = kKindRs232c;
};

// A code above 16 names converter port code - 16, any other RS-232C port code.
PortChoice decodePortCode(int code);

// The line that stores a choice: "1" .. "16" for RS-232C, "17" .. "32" for the
// converter. A port number outside 1 .. 16 stores no port: an empty line.
QString portCodeLine(int portNum, int portKind);

// The first line of portnum.ini as the start-up and the dialog see it.
struct StoredPortLine {
  enum class Form {
    Code,         // a port code 1 .. 32
    NoPort,       // "0"; also no line at all, junk, a number above 32, a huge line
    EmptyLine,    // ""
    SingleBlank,  // " "
  };
  Form form = Form::NoPort;
  int code = 0;  // 1 .. 32 when form is Code, else 0

  // Start-up must ask the operator for a port.
  bool asksForPort() const { return form != Form::Code; }
  // The dialog's load replaces such a line with "0".
  bool isBlank() const { return form == Form::EmptyLine || form == Form::SingleBlank; }
};

// Judges the first bytes of the file. Only the first line counts; it ends at
// CR or LF. A line that does not end within the bytes given counts as NoPort
// when more bytes follow (moreFollow), which is how a huge file is read.
StoredPortLine parseStoredPortLine(const QByteArray &head, bool moreFollow);

// portnum.ini in one folder. Reads look at a bounded prefix only; every write
// replaces the whole file atomically (a new file renamed over the old one) with
// exactly one line ended by CR LF.
class PortSettingsFile {
 public:
  static inline const QString kFileName = QStringLiteral("portnum.ini");
  // How much of the file is ever read.
  static constexpr int kReadLimit = 64;

  explicit PortSettingsFile(QString folder);

  // The program's folder when files can be created in it, else the
  // per-user configuration folder.
  static PortSettingsFile forThisProgram();
  static QString chooseFolder(const QString &programFolder, const QString &userConfigFolder);

  QString folder() const { return folder_; }
  QString path() const;
  bool exists() const;

  // The first line; a missing or unreadable file reads like "0".
  StoredPortLine read() const;

  // Replaces the file with the one line (CR LF added). On failure returns the
  // message for the operator, naming the file and the reason; the file is then
  // as it was before.
  [[nodiscard]] std::optional<QString> write(const QString &line) const;

 private:
  QString folder_;
};

}  // namespace vf
