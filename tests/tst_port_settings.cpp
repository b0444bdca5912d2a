// portnum.ini: reading the first line whatever the file holds, port codes,
// atomic one-line writes, write failures and where the file lives.

#include "settings/port_settings.h"

#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

using vf::PortSettingsFile;
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
    QTest::addColumn<QByteArray>("content");  // null: no file; "<folder>": a folder in its place
    QTest::addColumn<Form>("form");
    QTest::addColumn<int>("code");
    QTest::newRow("0") << QByteArray("0\r\n") << Form::NoPort << 0;
    QTest::newRow("empty line") << QByteArray("\r\n") << Form::EmptyLine << 0;
    QTest::newRow("single blank") << QByteArray(" \r\n") << Form::SingleBlank << 0;
    QTest::newRow("two blanks") << QByteArray("  \r\n") << Form::NoPort << 0;
    QTest::newRow("3") << QByteArray("3\r\n") << Form::Code << 3;
    QTest::newRow("17") << QByteArray("17\r\n") << Form::Code << 17;
    QTest::newRow("32") << QByteArray("32\r\n") << Form::Code << 32;
    QTest::newRow("33") << QByteArray("33\r\n") << Form::NoPort << 0;
    QTest::newRow("no line end") << QByteArray("21") << Form::Code << 21;
    QTest::newRow("LF only") << QByteArray("5\n") << Form::Code << 5;
    QTest::newRow("lone CR") << QByteArray("5\r7\r\n") << Form::Code << 5;
    QTest::newRow("blanks around") << QByteArray(" 7\t\r\n") << Form::Code << 7;
    QTest::newRow("only the first line") << QByteArray("\r\n3\r\n") << Form::EmptyLine << 0;
    QTest::newRow("empty file") << QByteArray("") << Form::NoPort << 0;
    QTest::newRow("junk") << QByteArray("COM3\r\n") << Form::NoPort << 0;
    QTest::newRow("number and junk") << QByteArray("3x\r\n") << Form::NoPort << 0;
    QTest::newRow("sign") << QByteArray("-3\r\n") << Form::NoPort << 0;
    QTest::newRow("overflowing number") << QByteArray("99999999999999999999\r\n") << Form::NoPort << 0;
    QTest::newRow("binary") << QByteArray("\x00\xFF\x81\x40\x03", 5) << Form::NoPort << 0;
    QTest::newRow("NUL after digit") << QByteArray("3\x00\r\n", 4) << Form::NoPort << 0;
    QTest::newRow("huge line of digits") << QByteArray(4 << 20, '1') << Form::NoPort << 0;
    QTest::newRow("huge line starting with a code") << ("3" + QByteArray(1 << 20, ' ')) << Form::NoPort << 0;
    QTest::newRow("no file") << QByteArray() << Form::NoPort << 0;
    QTest::newRow("a folder in its place") << QByteArray("<folder>") << Form::NoPort << 0;
  }
  void readsFirstLine() {
    QFETCH(QByteArray, content);
    QFETCH(Form, form);
    QFETCH(int, code);
    QTemporaryDir dir;
    const PortSettingsFile file(dir.path());
    if (content == "<folder>")
      QVERIFY(QDir(dir.path()).mkdir(PortSettingsFile::kFileName));
    else if (!content.isNull())
      QVERIFY(writeRaw(file.path(), content));
    QCOMPARE(file.exists(), !content.isNull());
    const vf::StoredPortLine line = file.read();
    QCOMPARE(line.form, form);
    QCOMPARE(line.code, code);
    QCOMPARE(line.asksForPort(), form != Form::Code);
    QCOMPARE(line.isBlank(), form == Form::EmptyLine || form == Form::SingleBlank);
  }

  void portCodes() {
    QCOMPARE(vf::decodePortCode(16).portKind, vf::kKindRs232c);
    QCOMPARE(vf::decodePortCode(17).portNum, 1);
    QCOMPARE(vf::decodePortCode(17).portKind, vf::kKindUsbConverter);
    QCOMPARE(vf::portCodeLine(5, vf::kKindUsbConverter), QStringLiteral("21"));
    QCOMPARE(vf::portCodeLine(0, vf::kKindUsbConverter), QString());  // not "16"
    QCOMPARE(vf::portCodeLine(17, vf::kKindRs232c), QString());
    for (int code = 1; code <= vf::kMaxPortCode; ++code) {
      const vf::PortChoice c = vf::decodePortCode(code);
      QCOMPARE(vf::parseStoredPortLine(vf::portCodeLine(c.portNum, c.portKind).toLatin1() + "\r\n", false).code, code);
    }
  }

  void writeIsOneLineEndedByCrLf() {
    QTemporaryDir dir;
    const PortSettingsFile file(dir.filePath(QStringLiteral("config/vf3360")));  // created as needed
    QCOMPARE(file.write(QStringLiteral("19")), std::nullopt);
    QCOMPARE(readRaw(file.path()), QByteArray("19\r\n"));
    QVERIFY(writeRaw(file.path(), "3\r\n17\r\njunk\r\n"));
    QCOMPARE(file.write(QString()), std::nullopt);
    QCOMPARE(readRaw(file.path()), QByteArray("\r\n"));
  }

  void writeReplacesTheFileAtomically() {
    QTemporaryDir dir;
    const PortSettingsFile file(dir.path());
    QVERIFY(writeRaw(file.path(), "7\r\n"));
    // A second name for the old file keeps the old content only when a new
    // file is renamed over the old one instead of rewriting it in place.
    const QString oldName = dir.filePath(QStringLiteral("old-link"));
    QCOMPARE(::link(QFile::encodeName(file.path()).constData(), QFile::encodeName(oldName).constData()), 0);
    QCOMPARE(file.write(QStringLiteral("0")), std::nullopt);
    QCOMPARE(readRaw(file.path()), QByteArray("0\r\n"));
    QCOMPARE(readRaw(oldName), QByteArray("7\r\n"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name),
             QStringList({QStringLiteral("old-link"), PortSettingsFile::kFileName}));
  }

  void writeFailureNamesPathAndReason() {
    QTemporaryDir dir;
    const QString blocked = dir.filePath(QStringLiteral("blocked"));  // a file where the folder should be
    QVERIFY(writeRaw(blocked, "x"));
    QVERIFY(QDir(dir.path()).mkpath(PortSettingsFile::kFileName + QStringLiteral("/inside")));
    for (const PortSettingsFile &file : {PortSettingsFile(blocked + QStringLiteral("/sub")), PortSettingsFile(dir.path())}) {
      const std::optional<QString> error = file.write(QStringLiteral("3"));
      QVERIFY(error.has_value());
      QVERIFY2(error->contains(QDir::toNativeSeparators(file.path())), qPrintable(*error));
      QVERIFY2(!error->section(u':', -1).trimmed().isEmpty(), qPrintable(*error));  // a reason follows
    }
    QCOMPARE(readRaw(blocked), QByteArray("x"));
    QVERIFY(QFileInfo(PortSettingsFile(dir.path()).path()).isDir());
  }

  void folderChoice() {
    QTemporaryDir program;
    QTemporaryDir user;
    QCOMPARE(PortSettingsFile::chooseFolder(program.path(), user.path()), program.path());
    QVERIFY(QDir(program.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).isEmpty());
    QCOMPARE(PortSettingsFile::chooseFolder(program.filePath(QStringLiteral("gone")), user.path()), user.path());
    QCOMPARE(PortSettingsFile::chooseFolder(QString(), user.path()), user.path());
    // A read-only program folder; the superuser can write there anyway.
    const QString readOnly = program.filePath(QStringLiteral("installed"));
    QVERIFY(QDir().mkdir(readOnly));
    QVERIFY(::chmod(QFile::encodeName(readOnly).constData(), 0555) == 0);
    const QString chosen = PortSettingsFile::chooseFolder(readOnly, user.path());
    const bool canWrite = ::access(QFile::encodeName(readOnly).constData(), W_OK) == 0;
    ::chmod(QFile::encodeName(readOnly).constData(), 0755);
    QCOMPARE(chosen, canWrite ? readOnly : user.path());
  }
};

QTEST_GUILESS_MAIN(PortSettingsTest)
#include "tst_port_settings.moc"
