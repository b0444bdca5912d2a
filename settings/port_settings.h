#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace vf {

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
