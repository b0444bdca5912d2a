// vf3360-send: turns text into the exact bytes of one convert-and-send and
// writes them to the module's serial port, or prints them.
//
//   vf3360-send [--speed N] [--file F] (--hex | --device PATH | --port N [--usb]) [TEXT ...]
//   vf3360-send (--hex | --device PATH | --port N [--usb]) (--clear | --rewind)
//
// Exit status: 0 message produced, 1 the port could not be opened or written,
// 2 bad usage (or a --file that cannot be read or is no text), 3 "文字数オーバー", 4 "文字を入力してください", 5 message
// produced with an unusable character.

#include "encoder/message_builder.h"
#include "encoder/run_presentation.h"
#include "encoder/text_file.h"
#include "line_words/line_words.h"
#include "link/module_link.h"
#include "link/port_options.h"
#include "protocol/hex_text.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QTextStream>

#include <iostream>
#include <vector>

namespace {

enum ExitStatus { kOk = 0, kPortFailed = 1, kBadUsage = 2, kTooLong = 3, kEmpty = 4, kUnusable = 5 };

const char kUsage[] =
    "usage: vf3360-send [--speed N] [--file F] (--hex | --device PATH | --port N [--usb]) [TEXT ...]\n"
    "       vf3360-send (--hex | --device PATH | --port N [--usb]) (--clear | --rewind)\n";

int badUsage(const QString &why) {
  std::cerr << "vf3360-send: " << why.toStdString() << "\n" << kUsage;
  return kBadUsage;
}

int portFailure(const QString &what, const QString &device, const QString &reason, bool dialoutRemedy = false) {
  std::cerr << "vf3360-send: " << what.toStdString() << " " << device.toStdString() << ": " << reason.toStdString()
            << "\n";
  if (dialoutRemedy) {
    std::cerr << "vf3360-send: serial devices belong to the group dialout: sudo usermod -aG dialout \"$USER\", "
                 "then log in again\n";
  }
  return kPortFailed;
}

QByteArray readAllStandardInput() {
  QFile in;
  if (!in.open(stdin, QIODevice::ReadOnly)) return {};
  return in.readAll();
}

}  // namespace

int main(int argc, char *argv[]) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("vf3360-send"));
  QCoreApplication::setApplicationVersion(QStringLiteral(VF_VERSION));

  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral("Sends text to a VF3360 display module."));
  parser.addHelpOption();
  parser.addVersionOption();
  const QCommandLineOption speedOption(QStringLiteral("speed"), QStringLiteral("Scroll speed 1 (fastest) .. 5."),
                                       QStringLiteral("N"), QStringLiteral("1"));
  const QCommandLineOption hexOption(QStringLiteral("hex"),
                                     QStringLiteral("Print every write as hex bytes instead of sending it."));
  const QCommandLineOption fileOption(QStringLiteral("file"), QStringLiteral("Take the text from a .txt file."),
                                      QStringLiteral("F"));
  const vf::PortOptions portOptions;
  const QCommandLineOption clearOption(QStringLiteral("clear"),
                                       QStringLiteral("Send the display clear command alone."));
  const QCommandLineOption rewindOption(QStringLiteral("rewind"),
                                        QStringLiteral("Send the data cue command alone (back to the beginning)."));
  parser.addOptions({speedOption, hexOption, fileOption, clearOption, rewindOption});
  portOptions.addTo(parser);
  parser.addPositionalArgument(QStringLiteral("TEXT"), QStringLiteral("The text (joined by blanks)."),
                               QStringLiteral("[TEXT ...]"));
  if (!parser.parse(QCoreApplication::arguments())) return badUsage(parser.errorText());
  if (parser.isSet(QStringLiteral("help"))) {
    std::cout << parser.helpText().toStdString();
    return kOk;
  }
  if (parser.isSet(QStringLiteral("version"))) parser.showVersion();

  bool speedOk = false;
  const int speed = parser.value(speedOption).toInt(&speedOk);
  if (!speedOk || speed < 1 || speed > vf::kSpeedOptionCount) {
    return badUsage(QStringLiteral("--speed takes a number from 1 to 5, not \"%1\"").arg(parser.value(speedOption)));
  }
  const QStringList words = parser.positionalArguments();
  if (parser.isSet(fileOption) && !words.isEmpty()) return badUsage(QStringLiteral("give either --file or TEXT, not both"));

  const vf::PortOptionValues portValues = portOptions.valuesFrom(parser);
  const int destinations = int(parser.isSet(hexOption)) + int(portValues.device.has_value()) + int(portValues.port.has_value());
  if (destinations == 0) return badUsage(QStringLiteral("no port to write to; give --device, --port or --hex"));
  if (destinations > 1) return badUsage(QStringLiteral("give only one of --hex, --device and --port"));
  QString portProblem;
  const std::optional<vf::ModulePort> port = vf::readModulePort(portValues, &portProblem);
  if (!port) return badUsage(portProblem);
  const bool command = parser.isSet(clearOption) || parser.isSet(rewindOption);
  if (parser.isSet(clearOption) && parser.isSet(rewindOption)) {
    return badUsage(QStringLiteral("give either --clear or --rewind, not both"));
  }
  if (command && (parser.isSet(fileOption) || !words.isEmpty())) {
    return badUsage(QStringLiteral("--clear and --rewind send no text"));
  }

  // What to write.
  std::vector<QByteArray> writes;
  int status = kOk;
  if (command) {
    writes.push_back(vf::controlCommand(parser.isSet(clearOption) ? vf::CommandCode::DisplayClear
                                                                  : vf::CommandCode::DataCue));
  } else {
    QString text;
    if (parser.isSet(fileOption)) {
      // Read exactly as the program loads a .txt file, refusals included.
      const vf::TextFileRead read = vf::readTextFile(parser.value(fileOption));
      if (!read.file) {
        std::cerr << "vf3360-send: " << read.error.toStdString() << "\n";
        return kBadUsage;
      }
      text = read.file->text;
    } else if (!words.isEmpty()) {
      text = words.join(u' ');
    } else {
      text = QString::fromUtf8(readAllStandardInput());
    }

    vf::BuiltMessage message = vf::buildMessage(text, speed);
    if (message.outcome != vf::RunOutcome::Sent) {
      std::cerr << vf::refusalText(message.outcome, text.size()).toStdString() << "\n";
      return message.outcome == vf::RunOutcome::TooLong ? kTooLong : kEmpty;
    }
    // The messages the window would show, in its order.
    for (const vf::RunStep &step : vf::presentRun(message, false))
      if (const auto *box = std::get_if<vf::ShowMessage>(&step)) std::cerr << box->text.toStdString() << "\n";
    if (message.hasUnusable()) status = kUnusable;
    writes = std::move(message.writes);
  }

  if (parser.isSet(hexOption)) {
    QTextStream out(stdout);
    for (const QByteArray &write : writes) out << vf::spacedHex(write) << '\n';
    out.flush();
    return status;
  }

  vf::ModuleLink link(port->namer());
  const vf::PortOpenResult opened = link.open(port->portNum, port->kind);
  if (!opened.open) {
    return portFailure(QStringLiteral("cannot open"), opened.device, opened.systemError, vf::dialoutRemedyApplies(opened));
  }
  QString failure;
  if (!link.sendMessage(writes)) {
    // The window's words, as this tool has always printed them.
    failure = vf::writeFailureText(link.writeFailure());
  }
  if (failure.isEmpty()) {
    if (const auto stalled = link.waitUntilSent()) failure = vf::writeFailureText(*stalled);
  }
  link.close();
  if (!failure.isEmpty()) return portFailure(QStringLiteral("cannot write to"), opened.device, failure);
  return status;
}
