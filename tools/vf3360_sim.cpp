// vf3360-sim: a virtual VF3360 module on a pseudo-terminal.
//
//   vf3360-sim [--json] [--verbose-updates] [--kind rs232c|usb] [--cue-after MS]
//              [--link PATH] [--window]      vf3360-sim --version
//
// Prints the device path on the first line, then one line per thing the
// module reads. Exit status: 0 ended normally, 1 no pseudo-terminal, 2 bad usage
// (also --window where no display is named).

#include "face/module_face.h"
#include "protocol/face_text.h"
#include "sim/event_format.h"
#include "sim/face_window.h"
#include "sim/virtual_module.h"
#include "tools/stop_signals.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>

#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <memory>

namespace {

enum ExitStatus { kOk = 0, kNoTerminal = 1, kBadUsage = 2 };

// A reader that has gone (vf3360-sim | head) ends the module, which then
// removes its link as on any other ending.
void writeLine(const QByteArray &line) {
  std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stdout);
  std::fputc('\n', stdout);
  if (std::fflush(stdout) != 0) QCoreApplication::quit();
}

int badUsage(const QString &why) {
  std::cerr << "vf3360-sim: " << why.toStdString() << "\n"
            << "usage: vf3360-sim [--json] [--verbose-updates] [--kind rs232c|usb] [--cue-after MS] [--link PATH] "
               "[--window]\n";
  return kBadUsage;
}

bool given(int argc, char *argv[], const char *option) {
  for (int i = 1; i < argc; ++i)
    if (QByteArray(argv[i]) == option) return true;
  return false;
}

// Qt ends the program (abort) when the window system it tries is not there;
// without any named, there is none to try.
bool displayNamed() {
  for (const char *variable : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
    if (!qEnvironmentVariableIsEmpty(variable)) return true;
  return false;
}

QString description() {
  using vf::ModuleFace;
  return QStringLiteral(
             "A virtual VF3360 display module on a pseudo-terminal. Point the program at the\n"
             "device path printed on the first line (or at --link PATH). Every command and\n"
             "packet it sends is checked and printed; update commands are counted.\n"
             "\n"
             "Standard input: a line \"cue\" sends the cue reply at once, \"quit\" ends.\n"
             "\n"
             "The window scrolls the text from right to left at the rate of the speed code\n"
             "of frame 1: code 0 (超高速, the default) %1 dots/s, code 1 (高速) %2 dots/s,\n"
             "code 2 (中高速) %3 dots/s, code 3 (中速 and 低速) %4 dots/s.")
      .arg(vf::scrollDotsPerSecond(0))
      .arg(vf::scrollDotsPerSecond(1))
      .arg(vf::scrollDotsPerSecond(2))
      .arg(vf::scrollDotsPerSecond(3));
}

// Reads standard input line by line without blocking the event loop.
class InputLines : public QObject {
 public:
  explicit InputLines(std::function<void(const QByteArray &)> onLine)
      : onLine_(std::move(onLine)), notifier_(STDIN_FILENO, QSocketNotifier::Read) {
    connect(&notifier_, &QSocketNotifier::activated, this, [this] { readSome(); });
  }

 private:
  void readSome() {
    char buffer[512];
    const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (n <= 0) {
      notifier_.setEnabled(false);  // end of input: the module keeps running
      return;
    }
    pending_.append(buffer, n);
    qsizetype end;
    while ((end = pending_.indexOf('\n')) >= 0) {
      const QByteArray line = pending_.left(end).trimmed();
      pending_.remove(0, end + 1);
      if (!line.isEmpty()) onLine_(line);
    }
    if (pending_.size() > 4096) pending_.clear();  // no line is that long
  }

  std::function<void(const QByteArray &)> onLine_;
  QSocketNotifier notifier_;
  QByteArray pending_;
};

}  // namespace

int main(int argc, char *argv[]) {
  const bool window = given(argc, argv, "--window") && !given(argc, argv, "--help") && !given(argc, argv, "--version");
  if (window && !displayNamed()) return badUsage(QStringLiteral("--window needs a display: neither DISPLAY nor WAYLAND_DISPLAY is set"));
  std::unique_ptr<QCoreApplication> app(window ? new QApplication(argc, argv) : new QCoreApplication(argc, argv));
  QCoreApplication::setApplicationName(QStringLiteral("vf3360-sim"));
  QCoreApplication::setApplicationVersion(QStringLiteral(VF_VERSION));

  QCommandLineParser parser;
  parser.setApplicationDescription(description());
  parser.addHelpOption();
  parser.addVersionOption();
  const QCommandLineOption jsonOption(QStringLiteral("json"), QStringLiteral("Print one JSON object per line."));
  const QCommandLineOption updatesOption(QStringLiteral("verbose-updates"),
                                        QStringLiteral("Print every update command instead of a count a second."));
  const QCommandLineOption kindOption(QStringLiteral("kind"),
                                     QStringLiteral("Form of the cue reply: rs232c (00 00 C0 00, the default) or usb "
                                                    "(C0 00 00 00)."),
                                     QStringLiteral("rs232c|usb"), QStringLiteral("rs232c"));
  const QCommandLineOption cueAfterOption(QStringLiteral("cue-after"),
                                          QStringLiteral("Send the cue reply MS milliseconds after each complete message."),
                                          QStringLiteral("MS"));
  const QCommandLineOption linkOption(QStringLiteral("link"),
                                      QStringLiteral("Also make PATH a symbolic link to the device (removed on exit)."),
                                      QStringLiteral("PATH"));
  const QCommandLineOption windowOption(QStringLiteral("window"), QStringLiteral("Show the module's face in a window."));
  parser.addOptions({jsonOption, updatesOption, kindOption, cueAfterOption, linkOption, windowOption});
  if (!parser.parse(QCoreApplication::arguments())) return badUsage(parser.errorText());
  if (parser.isSet(QStringLiteral("help"))) parser.showHelp(kOk);
  if (parser.isSet(QStringLiteral("version"))) parser.showVersion();
  if (!parser.positionalArguments().isEmpty()) return badUsage(QStringLiteral("no arguments are taken"));

  vf::ConnectionKind kind = vf::ConnectionKind::Rs232c;
  const QString kindText = parser.value(kindOption);
  if (kindText == QStringLiteral("usb")) kind = vf::ConnectionKind::UsbConverter;
  else if (kindText != QStringLiteral("rs232c")) return badUsage(QStringLiteral("--kind is rs232c or usb"));

  int cueAfter = -1;
  if (parser.isSet(cueAfterOption)) {
    bool ok = false;
    cueAfter = parser.value(cueAfterOption).toInt(&ok);
    if (!ok || cueAfter < 0) return badUsage(QStringLiteral("--cue-after takes milliseconds, 0 or more"));
  }

  const QString linkPath = parser.value(linkOption);
  if (!linkPath.isEmpty()) {
    const QFileInfo existing(linkPath);
    if (existing.exists() && !existing.isSymLink()) {
      return badUsage(QStringLiteral("%1 exists and is not a symbolic link; it is left alone").arg(linkPath));
    }
  }

  vf::VirtualModule module;
  module.setConnectionKind(kind);
  module.setCueAfter(cueAfter);
  QString error;
  if (!module.open(&error)) {
    std::cerr << "vf3360-sim: " << error.toStdString() << "\n";
    return kNoTerminal;
  }
  const QString device = module.devicePath();

  bool linked = false;
  if (!linkPath.isEmpty()) {
    QFileInfo existing(linkPath);
    if (existing.isSymLink()) QFile::remove(linkPath);  // left by an earlier run
    if (!QFile::link(device, linkPath)) {
      std::cerr << "vf3360-sim: cannot make " << linkPath.toStdString() << " a link to " << device.toStdString() << "\n";
      return kBadUsage;
    }
    linked = true;
  }

  // SIGINT, SIGTERM and SIGHUP end the event loop, so that the link goes too.
  vf::StopSignals stopSignals;
  QObject::connect(&stopSignals, &vf::StopSignals::received, app.get(), [] { QCoreApplication::quit(); });
  ::signal(SIGPIPE, SIG_IGN);

  writeLine(device.toLocal8Bit());

  vf::EventLog log(parser.isSet(jsonOption), parser.isSet(updatesOption), writeLine);
  QObject::connect(&module, &vf::VirtualModule::decoded, &log, &vf::EventLog::write);
  QObject::connect(&module, &vf::VirtualModule::cueReplySent, &log, &vf::EventLog::writeCueReply);
  QObject::connect(&module, &vf::VirtualModule::cueReplyFailed, &log, &vf::EventLog::writeCueReplyFailed);

  InputLines input([&](const QByteArray &line) {
    if (line == "cue") module.sendCueReply();
    else if (line == "quit") QCoreApplication::quit();
    else std::cerr << "vf3360-sim: unknown input \"" << line.toStdString() << "\" (cue, quit)\n";
  });

  std::unique_ptr<vf::FaceWindow> face;
  if (window) {
    face = std::make_unique<vf::FaceWindow>(device);
    QObject::connect(&module, &vf::VirtualModule::decoded, face.get(), &vf::FaceWindow::handle);
    face->show();
  }

  const int status = app->exec();
  log.flushUpdates();
  if (linked && QFileInfo(linkPath).symLinkTarget() == QFileInfo(device).absoluteFilePath()) QFile::remove(linkPath);
  return status;
}
