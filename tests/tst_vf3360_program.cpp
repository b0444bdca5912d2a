// The vf3360 program itself, run from a temporary folder that holds its
// portnum.ini: "--device PATH" opens a pseudo-terminal for the stored port and
// the module's cue reply is answered; bad usage ends with status 2.

#include "tests/support/pseudo_terminal.h"

#include <QProcess>
#include <QtTest>

namespace {

const QByteArray kDataCue = QByteArray::fromHex("00 00 18 00 00 18 EF");

}  // namespace

class Vf3360ProgramTest : public QObject {
  Q_OBJECT

  QTemporaryDir folder_;
  QString program_;

  QString iniPath() const { return folder_.filePath(QStringLiteral("portnum.ini")); }

  QProcess *start(const QStringList &arguments) {
    auto *process = new QProcess(this);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process->setProcessEnvironment(env);
    process->start(program_, arguments);
    return process;
  }

 private slots:
  // The program in a folder of its own, so that its portnum.ini is the test's.
  void initTestCase() {
    QVERIFY(folder_.isValid());
    program_ = folder_.filePath(QStringLiteral("vf3360"));
    QVERIFY(QFile::copy(QStringLiteral(VF3360_PATH), program_));
    QVERIFY(QFile::setPermissions(program_, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
  }

  void init() { QFile::remove(iniPath()); }

  void deviceOption_data() {
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<QByteArray>("reply");
    QTest::newRow("RS-232C port 3") << QByteArray("3\r\n") << QByteArray::fromHex("11 22 C0 00");
    QTest::newRow("USB変換 port 3") << QByteArray("19\r\n") << QByteArray::fromHex("C0");
  }
  // A stored port opens on the device given, with no question; the reply is
  // judged by the stored kind of connection and answered with the data cue.
  void deviceOption() {
    QFETCH(QByteArray, stored);
    QFETCH(QByteArray, reply);
    QFile ini(iniPath());
    QVERIFY(ini.open(QIODevice::WriteOnly));
    QCOMPARE(ini.write(stored), stored.size());
    ini.close();
    PseudoTerminal pty;
    QVERIFY(pty.isValid());

    QProcess *process = start({QStringLiteral("--device"), pty.path()});
    QVERIFY(process->waitForStarted());
    // The reply is sent until the program, once its port is open, answers it.
    QByteArray answer;
    QDeadlineTimer deadline(20000);
    while (answer.size() < kDataCue.size() && !deadline.hasExpired() && process->state() == QProcess::Running) {
      if (answer.isEmpty()) QVERIFY(pty.write(reply));
      answer += pty.readFor(200);
    }
    process->kill();
    process->waitForFinished();
    QVERIFY2(answer.size() >= kDataCue.size(), process->readAllStandardError().constData());
    QCOMPARE(answer.left(kDataCue.size()), kDataCue);
    // Whatever else came is answers too, to earlier copies of the reply.
    QCOMPARE(answer.size() % kDataCue.size(), 0);
    QCOMPARE(QString::fromLatin1(answer.toHex()).count(QString::fromLatin1(kDataCue.toHex())),
             answer.size() / kDataCue.size());
    QVERIFY(ini.open(QIODevice::ReadOnly));
    QCOMPARE(ini.readAll(), stored);
  }

  void badUsage_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("unknown option") << QStringList{"--port", "3"};
    QTest::newRow("argument") << QStringList{"/dev/ttyS0"};
    QTest::newRow("no path") << QStringList{"--device"};
    QTest::newRow("empty path") << QStringList{"--device="};
    QTest::newRow("twice") << QStringList{"--device", "a", "--device", "b"};
  }
  // Bad usage: a message on standard error and status 2, before anything
  // else happens (no window, no portnum.ini).
  void badUsage() {
    QFETCH(QStringList, arguments);
    QProcess *process = start(arguments);
    QVERIFY(process->waitForFinished(20000));
    QCOMPARE(process->exitStatus(), QProcess::NormalExit);
    QCOMPARE(process->exitCode(), 2);
    const QByteArray error = process->readAllStandardError();
    QVERIFY2(error.contains("usage: vf3360 [--device PATH]"), error.constData());
    QVERIFY(!QFile::exists(iniPath()));
  }
};

QTEST_GUILESS_MAIN(Vf3360ProgramTest)
#include "tst_vf3360_program.moc"
