// `cmake --install` of this build into a staging folder under /usr, as a
// package would: the files, the installed programs, the desktop entry, the
// icons and the bridge's service.

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
    for (const char *page : {"index.html", "console.css", "console.js", "mqtt.min.js"}) expected << u"share/vf3360/console/"_qs + QLatin1String(page);
    QStringList found;
    for (QDirIterator it(stage_.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories); it.hasNext();)
      found << QDir(root_).relativeFilePath(it.next());
    found.sort();
    expected.sort();
    QCOMPARE(found, expected);

    QProcessEnvironment bare = QProcessEnvironment::systemEnvironment();  // --version needs no display
    for (const char *variable : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) bare.remove(QLatin1String(variable));
    for (const QString &program : {u"vf3360"_qs, u"vf3360-send"_qs, u"vf3360-sim"_qs, u"vf3360-bridge"_qs})  // this build's
      QCOMPARE(runToEnd(root_ + u"bin/"_qs + program, {u"--version"_qs}, bare), (program + u" "_qs VF_VERSION "\n").toUtf8());
  }

  // The service's command, run as systemd would for an instance with the staging folder as /, and the example
  // copied in as that instance's settings file: the bridge takes it as hall-1's and refuses it as hall-2's with the
  // status after which the service is not started again (bad settings; 3 is a refusal for good by the broker).
  void bridgeService() {
    QFile unit(root_ + u"lib/systemd/system/vf3360-bridge@.service"_qs);
    QVERIFY(unit.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(unit.readAll());
    const QRegularExpressionMatch exec = QRegularExpression(u"\nExecStart=(.+)\n"_qs).match(text);
    QVERIFY2(exec.hasMatch() && QDir(stage_.path()).mkpath(u"etc/vf3360"_qs), qPrintable(text));
    QProcess runs[2];
    for (int i = 0; i < 2; ++i) {
      const QString instance = u"hall-%1"_qs.arg(i + 1);
      QStringList command = QProcess::splitCommand(exec.captured(1).replace(u"%i"_qs, instance));
      for (QString &word : command)
        if (word.startsWith(u'/')) word.prepend(stage_.path());
      QVERIFY(QFile::copy(root_ + u"share/doc/vf3360/bridge-example.ini"_qs, stage_.path() + u"/etc/vf3360/bridge-%1.ini"_qs.arg(instance)));
      runs[i].start(command.takeFirst(), command << u"--check"_qs);
      QVERIFY(runs[i].waitForFinished(60000));
    }
    QVERIFY2(runs[0].exitCode() == 0 && runs[0].readAllStandardOutput().startsWith("name: hall-1\n"), runs[0].readAllStandardError());
    QVERIFY2(runs[1].exitCode() != 0 && text.contains(u"\nRestartPreventExitStatus=%1 3\n"_qs.arg(runs[1].exitCode())), runs[1].readAllStandardError());
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
    const QString entry = QString::fromUtf8(file.readAll());
    const auto value = [&](const QString &key) { return QRegularExpression(u"\n"_qs + key + u"=(.*)\n"_qs).match(entry).captured(1); };
    const QFileInfo program(root_ + u"bin/"_qs + value(u"Exec"_qs));  // the program and its icon, as installed
    QVERIFY(program.isFile() && program.isExecutable());
    QVERIFY(QFileInfo::exists(root_ + u"share/icons/hicolor/256x256/apps/%1.png"_qs.arg(value(u"Icon"_qs))));
    QCOMPARE(value(u"Name\\[ja\\]"_qs), u"VF3360用　シリアル制御プログラム"_qs);
  }

  // The 32 px icon is the program's own file; each larger one is that picture
  // with every pixel drawn as a square.
  void icons() {
    QImage program = QImage(QStringLiteral(VF_SOURCE_DIR "/about/vf3360.png")).convertToFormat(QImage::Format_ARGB32_Premultiplied);
    program.setColorSpace(QColorSpace());  // the larger files name none; the pixels are what counts
    for (int size : {32, 64, 128, 256}) {
      QImage icon = QImage(root_ + QStringLiteral("share/icons/hicolor/%1x%1/apps/vf3360.png").arg(size)).convertToFormat(QImage::Format_ARGB32_Premultiplied);
      icon.setColorSpace(QColorSpace());
      QCOMPARE(icon, program.scaled(size, size));
    }
  }
};

QTEST_GUILESS_MAIN(InstallTest)
#include "tst_install.moc"
