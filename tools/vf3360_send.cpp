// vf3360-send: turns text into the exact bytes of one convert-and-send.
//
//   vf3360-send [--speed N] [--hex] [--file F] [TEXT ...]
//
// Exit status: 0 message produced, 2 bad usage, 3 "文字数オーバー",
// 4 "文字を入力してください", 5 message produced with an unusable character.

#include "encoder/convert_and_send.h"
#include "ui/text_file.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QTextStream>

#include <cstdio>
#include <iostream>

namespace {

enum ExitStatus { kOk = 0, kBadUsage = 2, kTooLong = 3, kEmpty = 4, kUnusable = 5 };

int badUsage(const QString &why) {
  std::cerr << "vf3360-send: " << why.toStdString() << "\n"
            << "usage: vf3360-send [--speed N] [--hex] [--file F] [TEXT ...]\n";
  return kBadUsage;
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
  parser.addOptions({speedOption, hexOption, fileOption});
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
  if (!parser.isSet(hexOption)) return badUsage(QStringLiteral("no port to write to; use --hex to print the writes"));

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

  const vf::ConvertRunResult run = vf::runConvertAndSend({text, speed, false});
  for (const vf::OperatorNotice &notice : run.notices) {
    if (notice.kind == vf::OperatorNotice::Kind::MessageBox) std::cerr << notice.text.toStdString() << "\n";
  }
  QTextStream out(stdout);
  for (const QByteArray &write : run.writes) out << hexLine(write) << '\n';
  out.flush();

  switch (run.outcome) {
    case vf::RunOutcome::TooLong: return kTooLong;
    case vf::RunOutcome::Empty: return kEmpty;
    case vf::RunOutcome::Sent: return run.unusableCharacter ? kUnusable : kOk;
  }
  return kOk;
}
