// portnum.ini: reading the first line whatever the file holds, port codes,
// atomic one-line writes, write failures and where the file lives.

#include "settings/port_settings.h"

#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

using vf::PortSettingsFile;
using vf::StoredPortLine;
using Form = vf::StoredPortLine::Form;

Q_DECLARE_METATYPE(vf::StoredPortLine::Form)

namespace {

bool writeRaw(const QString &path, const QByteArray &bytes) {
  QFile f(path);
  return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QByteArray readRaw(const QString &path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

}  // namespace

class PortSettingsTest : public QObject {
  Q_OBJECT
 private slots:
  void readsFirstLine_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<Form>("form");
    QTest::addColumn<int>("code");
    QTest::newRow("0") << QByteArray("0\r\n") << Form::NoPort << 0;
    QTest::newRow("empty line") << QByteArray("\r\n") << Form::EmptyLine << 0;
    QTest::newRow("single blank") << QByteArray(" \r\n") << Form::SingleBlank << 0;
    QTest::newRow("3") << QByteArray("3\r\n") << Form::Code << 3;
    QTest::newRow("16") << QByteArray("16\r\n") << Form::Code << 16;
    QTest::newRow("17") << QByteArray("17\r\n") << Form::Code << 17;
    QTest::newRow("19") << QByteArray("19\r\n") << Form::Code << 19;
    QTest::newRow("32") << QByteArray("32\r\n") << Form::Code << 32;
    QTest::newRow("33 is out of range") << QByteArray("33\r\n") << Form::NoPort << 0;
    QTest::newRow("no line end") << QByteArray("21") << Form::Code << 21;
    QTest::newRow("LF only") << QByteArray("5\n") << Form::Code << 5;
    QTest::newRow("lone CR") << QByteArray("5\r7\r\n") << Form::Code << 5;
    QTest::newRow("blanks around") << QByteArray(" 7\t\r\n") << Form::Code << 7;
    QTest::newRow("two blanks") << QByteArray("  \r\n") << Form::NoPort << 0;
    QTest::newRow("only the first line") << QByteArray("\r\n3\r\n") << Form::EmptyLine << 0;
    QTest::newRow("second line ignored") << QByteArray("4\r\n99\r\n") << Form::Code << 4;
    QTest::newRow("no line at all") << QByteArray() << Form::NoPort << 0;
    QTest::newRow("junk") << QByteArray("COM3\r\n") << Form::NoPort << 0;
    QTest::newRow("number and junk") << QByteArray("3x\r\n") << Form::NoPort << 0;
    QTest::newRow("sign") << QByteArray("-3\r\n") << Form::NoPort << 0;
    QTest::newRow("overflowing number") << QByteArray("99999999999999999999\r\n") << Form::NoPort << 0;
    QTest::newRow("binary") << QByteArray("\x00\xFF\x81\x40\x03", 5) << Form::NoPort << 0;
    QTest::newRow("NUL after digit") << QByteArray("3\x00\r\n", 4) << Form::NoPort << 0;
    QTest::newRow("huge line of digits") << QByteArray(4 << 20, '1') << Form::NoPort << 0;
    QTest::newRow("huge line starting with a code") << ("3" + QByteArray(1 << 20, ' ')) << Form::NoPort << 0;
  }
  void readsFirstLine() {
    QFETCH(QByteArray, content);
    QFETCH(Form, form);
    QFETCH(int, code);
    QTemporaryDir dir;
    const PortSettingsFile file(dir.path());
    QVERIFY(writeRaw(file.path(), content));
    QVERIFY(file.exists());
    const StoredPortLine line = file.read();
    QCOMPARE(line.form, form);
    QCOMPARE(line.code, code);
    QCOMPARE(line.asksForPort(), form != Form::Code);
    QCOMPARE(line.isBlank(), form == Form::EmptyLine || form == Form::SingleBlank);
  }

  void missingOrUnreadableFileReadsLikeZero() {
    QTemporaryDir dir;
    const PortSettingsFile missing(dir.path());
    QVERIFY(!missing.exists());
    QCOMPARE(missing.read().form, Form::NoPort);

    // A folder where the file should be cannot be read as a file.
    QVERIFY(QDir(dir.path()).mkdir(PortSettingsFile::kFileName));
    QCOMPARE(missing.read().form, Form::NoPort);
  }

  void portCodes() {
    const auto choice = [](int code) {
      const vf::PortChoice c = vf::decodePortCode(code);
      return std::pair{c.portNum, c.portKind};
    };
    QCOMPARE(choice(1), std::pair(1, vf::kKindRs232c));
    QCOMPARE(choice(3), std::pair(3, vf::kKindRs232c));
    QCOMPARE(choice(16), std::pair(16, vf::kKindRs232c));
    QCOMPARE(choice(17), std::pair(1, vf::kKindUsbConverter));
    QCOMPARE(choice(19), std::pair(3, vf::kKindUsbConverter));
    QCOMPARE(choice(32), std::pair(16, vf::kKindUsbConverter));

    QCOMPARE(vf::portCodeLine(1, vf::kKindRs232c), QStringLiteral("1"));
    QCOMPARE(vf::portCodeLine(16, vf::kKindRs232c), QStringLiteral("16"));
    QCOMPARE(vf::portCodeLine(5, vf::kKindUsbConverter), QStringLiteral("21"));
    QCOMPARE(vf::portCodeLine(16, vf::kKindUsbConverter), QStringLiteral("32"));
    // No port chosen stores no port, whatever the kind.
    QCOMPARE(vf::portCodeLine(0, vf::kKindRs232c), QString());
    QCOMPARE(vf::portCodeLine(0, vf::kKindUsbConverter), QString());
    QCOMPARE(vf::portCodeLine(17, vf::kKindRs232c), QString());

    // Every code survives the round trip through the file's line.
    for (int code = 1; code <= vf::kMaxPortCode; ++code) {
      const vf::PortChoice c = vf::decodePortCode(code);
      const QString line = vf::portCodeLine(c.portNum, c.portKind);
      QCOMPARE(vf::parseStoredPortLine(line.toLatin1() + "\r\n", false).code, code);
    }
  }

  void writeIsOneLineEndedByCrLf() {
    QTemporaryDir dir;
    const PortSettingsFile file(dir.path());
    QVERIFY(writeRaw(file.path(), "3\r\n17\r\njunk that was there before\r\n"));
    QCOMPARE(file.write(QStringLiteral("21")), std::nullopt);
    QCOMPARE(readRaw(file.path()), QByteArray("21\r\n"));
    QCOMPARE(file.write(QString()), std::nullopt);
    QCOMPARE(readRaw(file.path()), QByteArray("\r\n"));
    QCOMPARE(file.read().form, Form::EmptyLine);
  }

  void writeReplacesTheFileAtomically() {
    QTemporaryDir dir;
    const PortSettingsFile file(dir.path());
    QVERIFY(writeRaw(file.path(), "7\r\n"));
    // A second name for the old file: rewriting in place would change what it
    // reads; writing a new file and renaming it over the old one does not.
    const QString oldName = dir.filePath(QStringLiteral("old-link"));
    QCOMPARE(::link(QFile::encodeName(file.path()).constData(), QFile::encodeName(oldName).constData()), 0);

    QCOMPARE(file.write(QStringLiteral("0")), std::nullopt);
    QCOMPARE(readRaw(file.path()), QByteArray("0\r\n"));
    QCOMPARE(readRaw(oldName), QByteArray("7\r\n"));
    // Nothing else is left behind in the folder.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name),
             QStringList({QStringLiteral("old-link"), PortSettingsFile::kFileName}));
  }

  void writeFailureNamesPathAndReason() {
    QTemporaryDir dir;
    // The folder's place is taken by a plain file: nothing can be created in it.
    const QString blocked = dir.filePath(QStringLiteral("blocked"));
    QVERIFY(writeRaw(blocked, "x"));
    const PortSettingsFile file(blocked + QStringLiteral("/sub"));
    const std::optional<QString> error = file.write(QStringLiteral("3"));
    QVERIFY(error.has_value());
    QVERIFY2(error->contains(QDir::toNativeSeparators(file.path())), qPrintable(*error));
    QVERIFY2(error->section(u':', -1).trimmed().size() > 0, qPrintable(*error));  // a reason follows
    QCOMPARE(readRaw(blocked), QByteArray("x"));

    // The file's place is taken by a folder: the rename cannot replace it.
    QTemporaryDir dir2;
    const PortSettingsFile shadowed(dir2.path());
    QVERIFY(QDir(dir2.path()).mkpath(PortSettingsFile::kFileName + QStringLiteral("/inside")));
    const std::optional<QString> error2 = shadowed.write(QStringLiteral("3"));
    QVERIFY(error2.has_value());
    QVERIFY2(error2->contains(QDir::toNativeSeparators(shadowed.path())), qPrintable(*error2));
    QVERIFY(QFileInfo(shadowed.path()).isDir());
  }

  void writeCreatesTheUserFolder() {
    QTemporaryDir dir;
    const PortSettingsFile file(dir.filePath(QStringLiteral("config/vf3360")));
    QCOMPARE(file.write(QStringLiteral("19")), std::nullopt);
    QCOMPARE(readRaw(file.path()), QByteArray("19\r\n"));
  }

  void folderChoice() {
    QTemporaryDir program;
    QTemporaryDir user;
    QCOMPARE(PortSettingsFile::chooseFolder(program.path(), user.path()), program.path());
    // The probe leaves nothing behind.
    QVERIFY(QDir(program.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).isEmpty());

    QCOMPARE(PortSettingsFile::chooseFolder(program.filePath(QStringLiteral("gone")), user.path()), user.path());
    QCOMPARE(PortSettingsFile::chooseFolder(QString(), user.path()), user.path());

    // A read-only program folder (an installed program). The superuser can
    // write there anyway, and then the program folder is right.
    const QString readOnly = program.filePath(QStringLiteral("installed"));
    QVERIFY(QDir().mkdir(readOnly));
    QVERIFY(::chmod(QFile::encodeName(readOnly).constData(), 0555) == 0);
    const QString chosen = PortSettingsFile::chooseFolder(readOnly, user.path());
    const bool canWrite = ::access(QFile::encodeName(readOnly).constData(), W_OK) == 0;
    ::chmod(QFile::encodeName(readOnly).constData(), 0755);
    QCOMPARE(chosen, canWrite ? readOnly : user.path());
  }

  void portStateStartsAtZeroAndResets() {
    vf::PortState &s = vf::portState();
    QCOMPARE(&s, &vf::portState());
    s.PortNum = 5;
    s.PortKind = vf::kKindUsbConverter;
    s.PortChosen = s.IniRewritten = s.PortChanging = 1;
    vf::resetPortState();
    QCOMPARE(s.PortNum, 0);
    QCOMPARE(s.PortKind, 0);
    QCOMPARE(s.PortChosen, 0);
    QCOMPARE(s.IniRewritten, 0);
    QCOMPARE(s.PortChanging, 0);
  }
};

QTEST_GUILESS_MAIN(PortSettingsTest)
#include "tst_port_settings.moc"
