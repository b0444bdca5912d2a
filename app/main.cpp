#include "about/program_icon.h"
#include "ui/main_window.h"
#include "ui/translations.h"

#include <QApplication>
#include <QCommandLineParser>

#include <cstdio>

namespace {

constexpr int kBadUsage = 2;

const char kUsage[] = "usage: vf3360 [--device PATH] | --version\n";

int badUsage(const QString &why) {
  std::fprintf(stderr, "vf3360: %s\n%s", qPrintable(why), kUsage);
  return kBadUsage;
}

bool anyWindowVisible() {
  for (const QWidget *window : QApplication::topLevelWidgets())
    if (window->isVisible()) return true;
  return false;
}

}  // namespace

int main(int argc, char *argv[]) {
  // Answered before the window system is needed (over ssh, in a script).
  if (argc == 2 && (QByteArray(argv[1]) == "--version" || QByteArray(argv[1]) == "-version")) {
    std::printf("vf3360 %s\n", VF_VERSION);
    return 0;
  }
  QApplication app(argc, argv);
  app.setWindowIcon(vf::programIcon());
  vf::installJapaneseTranslations(app);

  // The program's one option: the serial device to open, whatever port
  // number is chosen (a module on /dev/ttyACM0, /dev/serial/by-id/..., or a
  // virtual port).
  QCommandLineParser parser;
  const QCommandLineOption deviceOption(QStringLiteral("device"),
                                        QStringLiteral("Open this serial device for every port number."),
                                        QStringLiteral("PATH"));
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  parser.addOption(deviceOption);
  if (!parser.parse(app.arguments())) return badUsage(parser.errorText());
  if (!parser.positionalArguments().isEmpty())
    return badUsage(QStringLiteral("unexpected argument: %1").arg(parser.positionalArguments().first()));
  const QStringList devices = parser.values(deviceOption);
  if (devices.size() > 1) return badUsage(QStringLiteral("give --device only once"));
  if (devices.size() == 1 && devices.first().isEmpty()) return badUsage(QStringLiteral("--device needs a path"));

  vf::MainWindow::Setup setup;
  if (!devices.isEmpty()) {
    const QString device = devices.first();
    setup.deviceNamer = [device](int, vf::ConnectionKind) { return device; };
  }
  // The window shows itself once start-up has a port open or asks for one.
  vf::MainWindow window(std::move(setup));
  window.startUp();
  // Every window was closed while a start-up message was open: the request
  // to quit came before the event loop ran, so end here.
  if (!anyWindowVisible()) return 0;
  return app.exec();
}
