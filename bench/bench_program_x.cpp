// The program itself on a virtual X display (Xvfb, real xcb window system),
// run from a temporary copy whose portnum.ini stores port 1, its device a
// pseudo-terminal:
//  (1) time from starting the process to its main window being mapped, seen
//      by an X client (xev) that watches the root window for MapNotify;
//  (2) peak memory (VmHWM of /proc/<pid>/status) of the idle program, 2 s
//      after its start.
// Needs Xvfb and xev (Debian packages xvfb and x11-utils; scripts/screenshot
// installs them):
//   build/bench/bench_program_x [starts]

#include "spread.h"
#include "sim/pseudo_terminal.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

QProcessEnvironment xEnvironment(const QString &display) {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("DISPLAY"), display);
  env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
  env.remove(QStringLiteral("WAYLAND_DISPLAY"));
  env.remove(QStringLiteral("XAUTHORITY"));
  return env;
}

void stop(QProcess &p) {
  if (p.state() == QProcess::NotRunning) return;
  p.terminate();
  if (!p.waitForFinished(5000)) p.kill();
  p.waitForFinished(5000);
}

QString statusField(qint64 pid, const char *field) {
  QFile f(QStringLiteral("/proc/%1/status").arg(pid));
  if (!f.open(QIODevice::ReadOnly)) return {};
  for (const QByteArray &line : f.readAll().split('\n'))
    if (line.startsWith(field)) return QString::fromLatin1(line.mid(qstrlen(field) + 1)).simplified();
  return {};
}

}  // namespace

int main(int argc, char **argv) {
  QCoreApplication app(argc, argv);
  const int starts = argc > 1 ? std::atoi(argv[1]) : 10;

  QProcess xvfb;
  xvfb.start(QStringLiteral("Xvfb"), {"-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"});
  if (!xvfb.waitForStarted() || !xvfb.waitForReadyRead(20000)) {
    std::fprintf(stderr, "Xvfb did not start\n");
    return 1;
  }
  const QString display = u':' + QString::fromLatin1(xvfb.readLine().trimmed());

  QTemporaryDir folder;
  const QString program = folder.filePath(QStringLiteral("vf3360"));
  QFile::copy(QCoreApplication::applicationDirPath() + QStringLiteral("/../vf3360"), program);
  QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  {
    QFile ini(folder.filePath(QStringLiteral("portnum.ini")));
    if (!ini.open(QIODevice::WriteOnly)) return 1;
    ini.write("1\r\n");
  }

  // (1) Process start to the window mapped, `starts` times.
  std::vector<double> millis;
  for (int i = 0; i < starts; ++i) {
    vf::PseudoTerminal pty;
    QProcess xev;
    xev.setProcessEnvironment(xEnvironment(display));
    xev.start(QStringLiteral("stdbuf"), {"-oL", "xev", "-root", "-event", "substructure"});
    xev.waitForStarted();
    QThread::msleep(300);  // xev is watching
    xev.readAllStandardOutput();

    QProcess vf3360;
    vf3360.setProcessEnvironment(xEnvironment(display));
    QElapsedTimer clock;
    clock.start();
    vf3360.start(program, {QStringLiteral("--device"), pty.path()});
    bool mapped = false;
    while (!mapped && clock.elapsed() < 20000) {
      xev.waitForReadyRead(1);
      while (xev.canReadLine())
        if (xev.readLine().startsWith("MapNotify")) mapped = true;
    }
    const double ms = clock.nsecsElapsed() / 1e6;
    stop(vf3360);
    stop(xev);
    if (!mapped) {
      std::fprintf(stderr, "the window was not mapped\n");
      return 1;
    }
    millis.push_back(ms);
  }
  const double firstStart = millis.front();
  const bench::Spread s = bench::spreadOf(millis);
  std::printf("process start to main window mapped, %d starts: median %.0f ms, min %.0f ms, max %.0f ms (first %.0f ms)\n",
              starts, s.median, s.min, s.max, firstStart);

  // (2) Peak memory of an idle program: the window shown, the port open.
  vf::PseudoTerminal pty;
  QProcess vf3360;
  vf3360.setProcessEnvironment(xEnvironment(display));
  vf3360.start(program, {QStringLiteral("--device"), pty.path()});
  vf3360.waitForStarted();
  QThread::msleep(2000);
  const QString peak = statusField(vf3360.processId(), "VmHWM:");
  const QString rss = statusField(vf3360.processId(), "VmRSS:");
  const bool running = vf3360.state() == QProcess::Running;
  stop(vf3360);
  stop(xvfb);
  if (!running || peak.isEmpty()) {
    std::fprintf(stderr, "the program did not keep running\n");
    return 1;
  }
  std::printf("peak memory (VmHWM) 2 s after start, window shown, port open: %s (VmRSS %s)\n", qPrintable(peak),
              qPrintable(rss));
  return 0;
}
