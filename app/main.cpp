#include "about/program_icon.h"
#include "link/port_options.h"
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
  const vf::PortOptions portOptions;
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  parser.addOption(portOptions.device);
  if (!parser.parse(app.arguments())) return badUsage(parser.errorText());
  if (!parser.positionalArguments().isEmpty())
    return badUsage(QStringLiteral("unexpected argument: %1").arg(parser.positionalArguments().first()));
  QString why;
  const std::optional<vf::ModulePort> port = vf::readModulePort(portOptions.deviceFrom(parser), &why);
  if (!port) return badUsage(why);

  vf::MainWindow::Setup setup;
  setup.deviceNamer = port->namer();
  setup.givenDevice = port->device;
  // The window shows itself once start-up has a port open or asks for one.
  vf::MainWindow window(std::move(setup));
  window.startUp();
  // Every window was closed while a start-up message was open: the request
  // to quit came before the event loop ran, so end here.
  if (!anyWindowVisible()) return 0;
  return app.exec();
}
