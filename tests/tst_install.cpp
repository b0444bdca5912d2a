// `cmake --install` of the build tree, the way a package would do it: into a
// staging folder (DESTDIR) under the prefix /usr. Every file lands in its place
// and nothing else does, the installed tools run, the desktop entry is valid
// and names the installed program and icon, and every icon size shows the
// program's own icon.

#include "about/program_icon.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

constexpr int kTimeoutMs = 60000;
const QString kPrefix = QStringLiteral("/usr");

struct Run {
  bool finished = false;
  int exitCode = -1;
  QByteArray out;
  QByteArray err;
};

Run run(const QString &program, const QStringList &args, const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment(),
        const QByteArray &input = {}) {
  QProcess p;
  p.setProcessEnvironment(env);
  p.start(program, args);
  Run r;
  if (!p.waitForStarted(kTimeoutMs)) return r;
  if (!input.isEmpty()) p.write(input);
  p.closeWriteChannel();
  r.finished = p.waitForFinished(kTimeoutMs) && p.exitStatus() == QProcess::NormalExit;
  r.exitCode = p.exitCode();
  r.out = p.readAllStandardOutput();
  r.err = p.readAllStandardError();
  return r;
}

// The [Desktop Entry] group of a desktop file as key -> value.
QMap<QString, QString> desktopEntry(const QString &path) {
  QMap<QString, QString> keys;
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return keys;
  bool inEntry = false;
  for (const QByteArray &raw : file.readAll().split('\n')) {
    const QString line = QString::fromUtf8(raw).trimmed();
    if (line.isEmpty() || line.startsWith(u'#')) continue;
    if (line.startsWith(u'[')) {
      inEntry = line == QStringLiteral("[Desktop Entry]");
      continue;
    }
    const qsizetype eq = line.indexOf(u'=');
    if (inEntry && eq > 0) keys.insert(line.left(eq).trimmed(), line.mid(eq + 1).trimmed());
  }
  return keys;
}

}  // namespace

class InstallTest : public QObject {
  Q_OBJECT

  QTemporaryDir stage_;
  QString root_;  // the prefix inside the staging folder

  QString installed(const QString &relative) const { return root_ + u'/' + relative; }

 private slots:
  void initTestCase() {
    QVERIFY(stage_.isValid());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DESTDIR"), stage_.path());
    const Run r = run(QStringLiteral(VF_CMAKE_COMMAND),
                      {QStringLiteral("--install"), QStringLiteral(VF_BUILD_DIR), QStringLiteral("--prefix"), kPrefix}, env);
    QVERIFY2(r.finished && r.exitCode == 0, r.out + r.err);
    root_ = stage_.path() + kPrefix;
  }

  // Exactly these files, nothing more (no libraries, tests or benchmarks).
  void everyFileInItsPlace() {
    QStringList expected = {
        QStringLiteral("bin/vf3360"),
        QStringLiteral("bin/vf3360-send"),
        QStringLiteral("bin/vf3360-sim"),
        QStringLiteral("share/applications/vf3360.desktop"),
    };
    for (const int size : {32, 64, 128, 256})
      expected << QStringLiteral("share/icons/hicolor/%1x%1/apps/vf3360.png").arg(size);
    expected.sort();

    QStringList found;
    QDirIterator it(stage_.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) found << QDir(root_).relativeFilePath(it.next());
    found.sort();
    QCOMPARE(found, expected);

    for (const QString &program : {QStringLiteral("vf3360"), QStringLiteral("vf3360-send"), QStringLiteral("vf3360-sim")}) {
      const QFileInfo info(installed(QStringLiteral("bin/") + program));
      QVERIFY2(info.isExecutable(), qPrintable(program));
      QFile file(info.filePath());
      QVERIFY(file.open(QIODevice::ReadOnly));
      QCOMPARE(file.read(4), QByteArray("\x7F" "ELF"));
    }
  }

  // The installed tools work on their own, away from the build tree.
  void installedToolsRun() {
    const Run built = run(QStringLiteral(VF3360_SEND_PATH), {QStringLiteral("--hex"), QStringLiteral("あ")});
    const Run send = run(installed(QStringLiteral("bin/vf3360-send")), {QStringLiteral("--hex"), QStringLiteral("あ")});
    QVERIFY2(send.finished && send.exitCode == 0, send.err);
    QVERIFY(send.out.startsWith("00 00 25 00 00 25 EF\n00 00 04 01 00 05 EF\n00 01 00 00 8B "));
    QCOMPARE(send.out, built.out);

    QProcess sim;
    sim.start(installed(QStringLiteral("bin/vf3360-sim")), {});
    QVERIFY(sim.waitForStarted(kTimeoutMs));
    QTRY_VERIFY_WITH_TIMEOUT(sim.canReadLine(), kTimeoutMs);
    const QString device = QString::fromUtf8(sim.readLine()).trimmed();
    QVERIFY2(device.startsWith(QStringLiteral("/dev/")), qPrintable(device));
    QVERIFY(QFile::exists(device));
    sim.write("quit\n");
    QVERIFY(sim.waitForFinished(kTimeoutMs));
    QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.exitCode(), 0);
  }

  void desktopEntryIsValid() {
    const QString path = installed(QStringLiteral("share/applications/vf3360.desktop"));
    const QString validator = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
    QVERIFY2(!validator.isEmpty(), "desktop-file-validate is missing (Debian package desktop-file-utils)");
    const Run r = run(validator, {path});
    QVERIFY(r.finished);
    // It prints hints and warnings even when it exits with 0: none is allowed.
    QVERIFY2(r.exitCode == 0 && r.out.isEmpty() && r.err.isEmpty(), r.out + r.err);

    const QMap<QString, QString> keys = desktopEntry(path);
    QCOMPARE(keys.value(QStringLiteral("Type")), QStringLiteral("Application"));
    QCOMPARE(keys.value(QStringLiteral("Name")), QStringLiteral("VF3360 Serial Control"));
    QCOMPARE(keys.value(QStringLiteral("Name[ja]")), QStringLiteral("VF3360用　シリアル制御プログラム"));
    QVERIFY(!keys.value(QStringLiteral("Comment")).isEmpty());
    QVERIFY(!keys.value(QStringLiteral("Comment[ja]")).isEmpty());
    QVERIFY(keys.value(QStringLiteral("Categories")).split(u';').contains(QStringLiteral("Utility")));
    QCOMPARE(keys.value(QStringLiteral("Terminal")), QStringLiteral("false"));
    // Exec and Icon name what was installed beside it.
    const QString exec = keys.value(QStringLiteral("Exec"));
    QCOMPARE(exec, QStringLiteral("vf3360"));
    QVERIFY(QFileInfo(installed(QStringLiteral("bin/") + exec)).isExecutable());
    const QString icon = keys.value(QStringLiteral("Icon"));
    QCOMPARE(icon, QStringLiteral("vf3360"));
    QVERIFY(QFile::exists(installed(QStringLiteral("share/icons/hicolor/32x32/apps/%1.png").arg(icon))));
  }

  // Each size is the program's icon, every pixel of it drawn as a square.
  void iconsShowTheProgramIcon_data() {
    QTest::addColumn<int>("size");
    for (const int size : {32, 64, 128, 256}) QTest::newRow(qPrintable(QString::number(size))) << size;
  }
  void iconsShowTheProgramIcon() {
    QFETCH(int, size);
    const QImage program = vf::programIconPixmap().toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QCOMPARE(program.size(), QSize(32, 32));
    QImage icon(installed(QStringLiteral("share/icons/hicolor/%1x%1/apps/vf3360.png").arg(size)));
    QVERIFY(!icon.isNull());
    QCOMPARE(icon.size(), QSize(size, size));
    icon = icon.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    // Premultiplied: a transparent pixel is transparent whatever colour it names.
    const int scale = size / 32;
    for (int y = 0; y < size; ++y) {
      for (int x = 0; x < size; ++x) {
        if (icon.pixel(x, y) != program.pixel(x / scale, y / scale))
          QFAIL(qPrintable(QStringLiteral("pixel %1,%2 differs from the program icon").arg(x).arg(y)));
      }
    }
  }
};

QTEST_MAIN(InstallTest)
#include "tst_install.moc"
