// `cmake --install` into a staging folder under /usr, as a package would: the
// files, the installed tools, the desktop entry, the icons and the bridge's
// service.

#include <QColorSpace>
#include <QDirIterator>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

namespace {

QByteArray runToEnd(const QString &program, const QStringList &args, const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment()) {
  QProcess p;
  p.setProcessEnvironment(env);
  p.setProcessChannelMode(QProcess::MergedChannels);
  p.start(program, args);
  if (!p.waitForFinished(60000) || p.exitCode() != 0) return "failed: " + p.readAll();
  return p.readAll();
}

}  // namespace

class InstallTest : public QObject {
  Q_OBJECT
  QTemporaryDir stage_;
  QString root_;

 private slots:
  void initTestCase() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"DESTDIR"_qs, stage_.path());
    const QByteArray out = runToEnd(QStringLiteral(VF_CMAKE_COMMAND), {u"--install"_qs, QStringLiteral(VF_BUILD_DIR), u"--prefix"_qs, u"/usr"_qs}, env);
    QVERIFY2(!out.startsWith("failed"), out);
    root_ = stage_.path() + u"/usr/"_qs;
  }

  void installed() {
    QStringList expected = {u"bin/vf3360"_qs, u"bin/vf3360-send"_qs, u"bin/vf3360-sim"_qs, u"bin/vf3360-bridge"_qs,
                            u"lib/systemd/system/vf3360-bridge@.service"_qs, u"share/doc/vf3360/bridge-example.ini"_qs,
                            u"share/doc/vf3360/mosquitto/vf3360.conf"_qs, u"share/doc/vf3360/mosquitto/vf3360.acl"_qs,
                            u"share/applications/vf3360.desktop"_qs};
    for (int size : {32, 64, 128, 256}) expected << QStringLiteral("share/icons/hicolor/%1x%1/apps/vf3360.png").arg(size);
    QStringList found;
    for (QDirIterator it(stage_.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories); it.hasNext();)
      found << QDir(root_).relativeFilePath(it.next());
    found.sort();
    expected.sort();
    QCOMPARE(found, expected);

    for (const QString &tool : {u"vf3360-send"_qs, u"vf3360-sim"_qs})  // the installed copies run
      QVERIFY(runToEnd(root_ + u"bin/"_qs + tool, {u"--help"_qs}).startsWith("Usage: "));
  }

  // The service runs the installed bridge on its settings file, and not again
  // after bad settings; the example is a settings file the bridge takes.
  void bridgeService() {
    QFile unit(root_ + u"lib/systemd/system/vf3360-bridge@.service"_qs);
    QVERIFY(unit.open(QIODevice::ReadOnly));
    const int badSettings = QProcess::execute(root_ + u"bin/vf3360-bridge"_qs, {u"--name"_qs, u"a/b"_qs, u"--port"_qs, u"1"_qs});
    const QByteArray text = unit.readAll();
    QVERIFY(text.contains("\nExecStart=/usr/bin/vf3360-bridge --config /etc/vf3360/bridge-%i.ini --instance %i\n") &&
            text.contains(QStringLiteral("\nRestartPreventExitStatus=%1 3\n").arg(badSettings).toUtf8()));
    const QByteArray shown = runToEnd(root_ + u"bin/vf3360-bridge"_qs, {u"--config"_qs, root_ + u"share/doc/vf3360/bridge-example.ini"_qs, u"--check"_qs});
    QVERIFY2(shown.startsWith("name: hall-1\n"), shown);
  }

  // The service's sandbox as systemd rates it: at most 3.5 of 10, the serial devices and Internet sockets still open.
  void serviceSandbox() {
    const QString analyze = QStandardPaths::findExecutable(u"systemd-analyze"_qs);
    if (analyze.isEmpty()) QSKIP("systemd-analyze is missing (Debian package systemd): the sandbox is not rated");
    const QByteArray report = runToEnd(analyze, {u"security"_qs, u"--offline=yes"_qs, root_ + u"lib/systemd/system/vf3360-bridge@.service"_qs});
    const QRegularExpressionMatch rated = QRegularExpression(u"Overall exposure level for \\S+: (\\d+\\.\\d)"_qs).match(QString::fromUtf8(report));
    QVERIFY2(rated.hasMatch() && rated.captured(1).toDouble() <= 3.5, report);
    for (const char *open : {"char-ttyS:rw", "char-ttyUSB:rw", "char-ttyACM:rw", "✗ RestrictAddressFamilies=~AF_(INET|INET6)"}) QVERIFY2(report.contains(open), open);
  }

  void desktopEntry() {
    const QString path = root_ + u"share/applications/vf3360.desktop"_qs;
    const QString validator = QStandardPaths::findExecutable(u"desktop-file-validate"_qs);
    QVERIFY2(!validator.isEmpty(), "desktop-file-validate is missing (Debian package desktop-file-utils)");
    QCOMPARE(runToEnd(validator, {path}), QByteArray());  // no hint, no warning
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray entry = file.readAll();
    QVERIFY(entry.contains("\nExec=vf3360\n") && entry.contains("\nIcon=vf3360\n"));
    QVERIFY(entry.contains("Name[ja]=VF3360用　シリアル制御プログラム"));
  }

  // The 32 px icon is the program's own file; each larger one is that picture
  // with every pixel drawn as a square.
  void icons() {
    QImage program = QImage(QStringLiteral(VF_SOURCE_DIR "/about/vf3360.png")).convertToFormat(QImage::Format_ARGB32_Premultiplied);
    program.setColorSpace(QColorSpace());  // the larger files name none; the pixels are what counts
    for (int size : {64, 128, 256}) {
      const QImage icon(root_ + QStringLiteral("share/icons/hicolor/%1x%1/apps/vf3360.png").arg(size));
      QCOMPARE(icon.convertToFormat(QImage::Format_ARGB32_Premultiplied), program.scaled(size, size));
    }
  }
};

QTEST_GUILESS_MAIN(InstallTest)
#include "tst_install.moc"
