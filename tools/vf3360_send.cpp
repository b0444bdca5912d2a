// vf3360-send: turns text into the exact bytes of one convert-and-send and
// writes them to the module's serial port, or prints them.
//
//   vf3360-send [--speed N] [--file F] (--hex | --device PATH | --port N [--usb]) [TEXT ...]
//   vf3360-send (--hex | --device PATH | --port N [--usb]) (--clear | --rewind)
//
// Exit status: 0 message produced, 1 the port could not be opened or written,
// 2 bad usage, 3 "文字数オーバー", 4 "文字を入力してください", 5 message
// produced with an unusable character.

#include "encoder/convert_and_send.h"
#include "link/control_command.h"
#include "link/port_opening.h"
#include "settings/port_settings.h"
#include "ui/text_file.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QSerialPort>
#include <QTextStream>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <vector>

#ifdef Q_OS_UNIX
#include <termios.h>
#endif

namespace {

enum ExitStatus { kOk = 0, kPortFailed = 1, kBadUsage = 2, kTooLong = 3, kEmpty = 4, kUnusable = 5 };

const char kUsage[] =
    "usage: vf3360-send [--speed N] [--file F] (--hex | --device PATH | --port N [--usb]) [TEXT ...]\n"
    "       vf3360-send (--hex | --device PATH | --port N [--usb]) (--clear | --rewind)\n";

int badUsage(const QString &why) {
  std::cerr << "vf3360-send: " << why.toStdString() << "\n" << kUsage;
  return kBadUsage;
}

int portFailure(const QString &what, const QString &device, const QString &reason) {
  std::cerr << "vf3360-send: " << what.toStdString() << " " << device.toStdString() << ": " << reason.toStdString()
            << "\n";
  return kPortFailed;
}

QByteArray readAllStandardInput() {
  QFile in;
  if (!in.open(stdin, QIODevice::ReadOnly)) return {};
  return in.readAll();
}

QString hexLine(const QByteArray &bytes) {
  QString line;
  line.reserve(bytes.size() * 3);
  for (qsizetype i = 0; i < bytes.size(); ++i) {
    if (i > 0) line.append(u' ');
    line.append(QString::asprintf("%02X", static_cast<unsigned char>(bytes[i])));
  }
  return line;
}

// Hands every write to the port in order and returns only when the last byte
// has left the computer. Empty on success, else the reason.
QString writeAndDrain(QSerialPort &port, const std::vector<QByteArray> &writes) {
  // At 19200 baud a whole message (4206 bytes) takes 2.2 s; a line that
  // takes nothing for this long is stuck.
  constexpr int kStuckMs = 10000;
  for (const QByteArray &bytes : writes) {
    qint64 done = 0;
    while (done < bytes.size()) {
      const qint64 n = port.write(bytes.constData() + done, bytes.size() - done);
      if (n < 0) return port.errorString();
      done += n;
    }
  }
  while (port.bytesToWrite() > 0) {
    if (!port.waitForBytesWritten(kStuckMs)) {
      return port.error() == QSerialPort::NoError || port.error() == QSerialPort::TimeoutError
                 ? QStringLiteral("the line took no byte for %1 s").arg(kStuckMs / 1000)
                 : port.errorString();
    }
  }
#ifdef Q_OS_UNIX
  // The bytes have left the program; wait until the driver has sent them too.
  if (::tcdrain(port.handle()) != 0 && errno != ENOTTY && errno != EINVAL) return QString::fromLocal8Bit(strerror(errno));
#else
  if (!port.flush() && port.error() != QSerialPort::NoError) return port.errorString();
#endif
  return {};
}

}  // namespace

int main(int argc, char *argv[]) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("vf3360-send"));

  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral("Sends text to a VF3360 display module."));
  parser.addHelpOption();
  const QCommandLineOption speedOption(QStringLiteral("speed"), QStringLiteral("Scroll speed 1 (fastest) .. 5."),
                                       QStringLiteral("N"), QStringLiteral("1"));
  const QCommandLineOption hexOption(QStringLiteral("hex"),
                                     QStringLiteral("Print every write as hex bytes instead of sending it."));
  const QCommandLineOption fileOption(QStringLiteral("file"), QStringLiteral("Take the text from a .txt file."),
                                      QStringLiteral("F"));
  const QCommandLineOption deviceOption(QStringLiteral("device"),
                                        QStringLiteral("Send through this serial device (/dev/ttyACM0, COM3, ...)."),
                                        QStringLiteral("PATH"));
  const QCommandLineOption portOption(
      QStringLiteral("port"),
      QStringLiteral("Send through port N (1 .. 16) as the program numbers them: RS-232C unless --usb."),
      QStringLiteral("N"));
  const QCommandLineOption usbOption(QStringLiteral("usb"), QStringLiteral("--port N is USB-serial converter port N."));
  const QCommandLineOption clearOption(QStringLiteral("clear"),
                                       QStringLiteral("Send the display clear command alone."));
  const QCommandLineOption rewindOption(QStringLiteral("rewind"),
                                        QStringLiteral("Send the data cue command alone (back to the beginning)."));
  parser.addOptions({speedOption, hexOption, fileOption, deviceOption, portOption, usbOption, clearOption,
                     rewindOption});
  parser.addPositionalArgument(QStringLiteral("TEXT"), QStringLiteral("The text (joined by blanks)."),
                               QStringLiteral("[TEXT ...]"));
  if (!parser.parse(QCoreApplication::arguments())) return badUsage(parser.errorText());
  if (parser.isSet(QStringLiteral("help"))) {
    std::cout << parser.helpText().toStdString();
    return kOk;
  }

  bool speedOk = false;
  const int speed = parser.value(speedOption).toInt(&speedOk);
  if (!speedOk || speed < 1 || speed > vf::kSpeedOptionCount) {
    return badUsage(QStringLiteral("--speed takes a number from 1 to 5, not \"%1\"").arg(parser.value(speedOption)));
  }
  const QStringList words = parser.positionalArguments();
  if (parser.isSet(fileOption) && !words.isEmpty()) return badUsage(QStringLiteral("give either --file or TEXT, not both"));

  const int destinations = int(parser.isSet(hexOption)) + int(parser.isSet(deviceOption)) + int(parser.isSet(portOption));
  if (destinations == 0) return badUsage(QStringLiteral("no port to write to; give --device, --port or --hex"));
  if (destinations > 1) return badUsage(QStringLiteral("give only one of --hex, --device and --port"));
  if (parser.isSet(usbOption) && !parser.isSet(portOption)) return badUsage(QStringLiteral("--usb belongs to --port"));
  int portNum = 0;
  if (parser.isSet(portOption)) {
    bool ok = false;
    portNum = parser.value(portOption).toInt(&ok);
    if (!ok || portNum < 1 || portNum > vf::kMaxPortNumber) {
      return badUsage(QStringLiteral("--port takes a number from 1 to 16, not \"%1\"").arg(parser.value(portOption)));
    }
  }
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
      QFile file(parser.value(fileOption));
      if (!file.open(QIODevice::ReadOnly)) {
        return badUsage(QStringLiteral("cannot read %1: %2").arg(file.fileName(), file.errorString()));
      }
      text = vf::textFromFileBytes(file.readAll());
    } else if (!words.isEmpty()) {
      text = words.join(u' ');
    } else {
      text = QString::fromUtf8(readAllStandardInput());
    }

    vf::ConvertRunResult run = vf::runConvertAndSend({text, speed, false});
    for (const vf::OperatorNotice &notice : run.notices) {
      if (notice.kind == vf::OperatorNotice::Kind::MessageBox) std::cerr << notice.text.toStdString() << "\n";
    }
    switch (run.outcome) {
      case vf::RunOutcome::TooLong: return kTooLong;
      case vf::RunOutcome::Empty: return kEmpty;
      case vf::RunOutcome::Sent: status = run.unusableCharacter ? kUnusable : kOk; break;
    }
    writes = std::move(run.writes);
  }

  if (parser.isSet(hexOption)) {
    QTextStream out(stdout);
    for (const QByteArray &write : writes) out << hexLine(write) << '\n';
    out.flush();
    return status;
  }

  QSerialPort port;
  const int portKind = parser.isSet(usbOption) ? vf::kKindUsbConverter : vf::kKindRs232c;
  const vf::PortOpenResult opened = vf::openSerialPort(port, portNum, portKind, parser.value(deviceOption));
  if (!opened.open) return portFailure(QStringLiteral("cannot open"), opened.device, opened.error);
  const QString failure = writeAndDrain(port, writes);
  port.close();
  if (!failure.isEmpty()) return portFailure(QStringLiteral("cannot write to"), opened.device, failure);
  return status;
}
