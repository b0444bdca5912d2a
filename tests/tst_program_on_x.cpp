// Smoke test of the real program with the real window system: vf3360 runs
// from a temporary copy with a stored port, its device a pseudo-terminal, on
// an Xvfb display of its own (xcb, not offscreen). The window must be there by
// its title, and a screenshot of the screen must show it.

#include "tests/support/pseudo_terminal.h"

#include <QImage>
#include <QProcess>
#include <QSet>
#include <QStandardPaths>
#include <QtTest>

namespace {

constexpr int kTimeoutMs = 20000;
const QString kTitle = QStringLiteral("VF3360 シリアル送信プログラム");

void stop(QProcess &process) {
  if (process.state() == QProcess::NotRunning) return;
  process.terminate();
  if (!process.waitForFinished(5000)) process.kill();
  process.waitForFinished(5000);
}

}  // namespace

class ProgramOnXTest : public QObject {
  Q_OBJECT

  QTemporaryDir folder_;
  QProcess xvfb_;
  QString display_;

  QProcessEnvironment xEnvironment() const {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display_);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.remove(QStringLiteral("XAUTHORITY"));
    return env;
  }

  // Runs a helper on the display; its standard output, or an error in `why`.
  QByteArray run(const QString &tool, const QStringList &args, QString *why) {
    QProcess p;
    p.setProcessEnvironment(xEnvironment());
    p.start(tool, args);
    if (!p.waitForFinished(kTimeoutMs)) {
      stop(p);
      *why = tool + QStringLiteral(" did not finish");
      return {};
    }
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
      *why = tool + QStringLiteral(" failed: ") + QString::fromLocal8Bit(p.readAllStandardError());
      return {};
    }
    return p.readAllStandardOutput();
  }

 private slots:
  void initTestCase() {
    const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    if (xvfb.isEmpty()) QSKIP("Xvfb is not installed (scripts/test installs it: package xvfb)");
    for (const char *tool : {"xdotool", "import"})
      QVERIFY2(!QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty(),
               qPrintable(QStringLiteral("%1 is missing (packages xdotool, imagemagick)").arg(QString::fromLatin1(tool))));
    QVERIFY(folder_.isValid());
    // Xvfb picks a free display number itself and writes it to standard output.
    xvfb_.start(xvfb, {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"), QStringLiteral("0"),
                       QStringLiteral("1024x768x24"), QStringLiteral("-nolisten"), QStringLiteral("tcp")});
    QVERIFY(xvfb_.waitForStarted(kTimeoutMs));
    QDeadlineTimer deadline(kTimeoutMs);
    while (!xvfb_.canReadLine() && !deadline.hasExpired() && xvfb_.state() == QProcess::Running)
      xvfb_.waitForReadyRead(100);
    QVERIFY2(xvfb_.canReadLine(), xvfb_.readAllStandardError().constData());
    display_ = u':' + QString::fromLatin1(xvfb_.readLine().trimmed());
  }

  void cleanupTestCase() { stop(xvfb_); }

  void windowIsShown() {
    const QString program = folder_.filePath(QStringLiteral("vf3360"));
    QVERIFY(QFile::copy(QStringLiteral(VF3360_PATH), program));
    QVERIFY(QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    {
      QFile ini(folder_.filePath(QStringLiteral("portnum.ini")));  // RS-232C port 1: no question at start
      QVERIFY(ini.open(QIODevice::WriteOnly));
      ini.write("1\r\n");
    }
    PseudoTerminal pty;
    QVERIFY(pty.isValid());

    QProcess vf3360;
    vf3360.setProcessEnvironment(xEnvironment());
    vf3360.start(program, {QStringLiteral("--device"), pty.path()});
    QVERIFY(vf3360.waitForStarted(kTimeoutMs));

    QString why;
    const QByteArray found =
        run(QStringLiteral("timeout"), {QStringLiteral("20"), QStringLiteral("xdotool"), QStringLiteral("search"),
                                        QStringLiteral("--sync"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"),
                                        u'^' + kTitle + u'$'},
            &why);
    QVERIFY2(!found.isEmpty(), qPrintable(why + u' ' + QString::fromLocal8Bit(vf3360.readAllStandardError())));
    const QString window = QString::fromLatin1(found.split('\n').first());
    QCOMPARE(QString::fromUtf8(run(QStringLiteral("xdotool"), {QStringLiteral("getwindowname"), window}, &why)).trimmed(), kTitle);

    // Where the window is, then the whole screen as the window system shows it.
    const QString geometry =
        QString::fromLatin1(run(QStringLiteral("xdotool"), {QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), window}, &why));
    QMap<QString, int> g;
    for (const QString &line : geometry.split(u'\n', Qt::SkipEmptyParts)) {
      const QStringList kv = line.split(u'=');
      if (kv.size() == 2) g[kv[0]] = kv[1].toInt();
    }
    QVERIFY2(g.value(QStringLiteral("WIDTH")) >= 600 && g.value(QStringLiteral("HEIGHT")) >= 500, qPrintable(geometry));
    QTest::qWait(500);  // let it paint
    const QString shot = folder_.filePath(QStringLiteral("screen.png"));
    run(QStringLiteral("import"), {QStringLiteral("-window"), QStringLiteral("root"), shot}, &why);
    QImage image(shot);
    QVERIFY2(!image.isNull(), qPrintable(why));
    QCOMPARE(image.size(), QSize(1024, 768));

    // Inside the window: many colours (text, fields, buttons), unlike the bare screen around it.
    const QRect inside = QRect(g[QStringLiteral("X")], g[QStringLiteral("Y")], g[QStringLiteral("WIDTH")], g[QStringLiteral("HEIGHT")])
                             .intersected(image.rect());
    QSet<QRgb> colours;
    for (int y = inside.top(); y <= inside.bottom(); y += 2)
      for (int x = inside.left(); x <= inside.right(); x += 2) colours.insert(image.pixel(x, y));
    QVERIFY2(colours.size() >= 16, qPrintable(QStringLiteral("%1 colours in the window").arg(colours.size())));
    QSet<QRgb> outside;
    for (int y = 0; y < image.height(); y += 4)
      for (int x = 0; x < image.width(); x += 4)
        if (!inside.contains(x, y)) outside.insert(image.pixel(x, y));
    QVERIFY2(outside.size() < colours.size(), "the screen around the window is as busy as the window");

    QCOMPARE(vf3360.state(), QProcess::Running);
    QVERIFY(pty.readFor(100).isEmpty());  // nothing sent without an operator
    stop(vf3360);
  }
};

QTEST_GUILESS_MAIN(ProgramOnXTest)
#include "tst_program_on_x.moc"
