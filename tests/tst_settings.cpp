// portnum.ini: its first line, port codes and devices, atomic writes, where it
// lives; and the start-up paths that the window cannot show on its own.

#include "settings/port_settings.h"
#include "settings/port_setup.h"
#include "tests/support/bytes.h"

#include <QTest>

#include <unistd.h>

using namespace vf;
using Form = StoredPortLine::Form;

namespace {

QByteArray readRaw(const QString &path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

QString describe(const PortActions &actions) {
  // By PortAction::Kind, in its order.
  const char *const names[] = {"message ", "write ", "window", "dialog", "raise", "stop auto update", "close", "open ", "status "};
  QStringList parts;
  for (const PortAction &a : actions) {
    QString part = QString::fromLatin1(names[int(a.kind)]) + (a.kind == PortAction::Kind::ShowDialog ? u" "_qs : QString()) + a.text + (a.quiet ? u" quietly"_qs : QString());
    if (a.kind == PortAction::Kind::OpenPort || a.kind == PortAction::Kind::ShowDialog)
      part += QStringLiteral("%1 %2").arg(a.portNum).arg(a.portKind == ConnectionKind::UsbConverter ? "USB" : "RS");
    parts << part;
  }
  return parts.join(u", "_qs);
}

// One thing that happens: "start <first line>" ("start" alone: no file),
// "answer <combo text>[ keep]", "closed", "change" (ポート変更).
QString happen(PortSetup &setup, const QString &event) {
  if (event.startsWith(u"start"_qs)) {
    const bool exists = event != u"start"_qs;
    return describe(setup.startUp(exists, parseStoredPortLine(event.mid(6).toLatin1(), false)));
  }
  if (event.startsWith(u"answer "_qs)) {
    QString text = event.mid(7);
    const bool keep = text.endsWith(u" keep"_qs);
    if (keep) text.chop(5);
    return describe(setup.confirmed({listedPortNumber(text), ConnectionKind::Rs232c, keep}));
  }
  if (event == u"closed"_qs) return describe(setup.dialogClosed());
  if (event == u"change"_qs) return describe(setup.changePort());
  return u"unknown event "_qs + event;
}

const QString kChoosing = u"status ポートクローズ（ポート選択中）"_qs;
const QString kChanging = u"status ポートクローズ（ポート変更中）"_qs;
const QString kDefault = u"write 1 quietly, window, write 0, "_qs + kChoosing + u", dialog 1 RS"_qs;
const QString kChoose = u"message ポート番号を選択してください"_qs;

}  // namespace

class SettingsTest : public QObject {
  Q_OBJECT
 private slots:
  void firstLine_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<Form>("form");
    QTest::addColumn<int>("code");
    QTest::newRow("0") << QByteArray("0\r\n") << Form::NoPort << 0;
    QTest::newRow("empty line, then a code") << QByteArray("\r\n3\r\n") << Form::EmptyLine << 0;
    QTest::newRow("single blank") << QByteArray(" \r\n") << Form::SingleBlank << 0;
    QTest::newRow("32, no line end") << QByteArray("32") << Form::Code << 32;
    QTest::newRow("33") << QByteArray("33") << Form::NoPort << 0;
    QTest::newRow("LF, lone CR") << QByteArray("5\r7\n") << Form::Code << 5;
    QTest::newRow("blanks around") << QByteArray(" 7\t\r\n") << Form::Code << 7;
    QTest::newRow("junk, sign, NUL") << QByteArray("-3\x00", 3) << Form::NoPort << 0;
    QTest::newRow("overflowing number") << QByteArray("99999999999999999999") << Form::NoPort << 0;
    QTest::newRow("huge line starting with a code") << ("3" + QByteArray(1 << 20, ' ')) << Form::NoPort << 0;
    QTest::newRow("no file") << QByteArray() << Form::NoPort << 0;
  }
  void firstLine() {
    QFETCH(QByteArray, content);
    QFETCH(Form, form);
    QFETCH(int, code);
    QTemporaryDir dir;
    const PortSettingsFile file(dir.path());
    if (!content.isNull()) QVERIFY(writeFile(file.path(), content));
    QCOMPARE(file.read().form, form);
    QCOMPARE(file.read().code, code);
  }

  void codes() {
    for (int code = 1; code <= kMaxPortCode; ++code) {
      const PortChoice c = decodePortCode(code);
      QCOMPARE(c.kind, code > 16 ? ConnectionKind::UsbConverter : ConnectionKind::Rs232c);
      QCOMPARE(portCodeLine(c.portNum, c.kind), QString::number(code));
    }
    QCOMPARE(portCodeLine(0, ConnectionKind::UsbConverter), QString());  // not "16"
    QCOMPARE(deviceNameFor(3, ConnectionKind::UsbConverter), u"/dev/ttyUSB2"_qs);
    QCOMPARE(deviceNameFor(16, ConnectionKind::Rs232c, DeviceNaming::Windows), u"COM16"_qs);
  }

  void writes() {
    QTemporaryDir dir;
    const PortSettingsFile file(dir.filePath(u"config/vf3360"_qs));  // created as needed
    QCOMPARE(file.write(u"19"_qs), std::nullopt);
    QVERIFY(writeFile(file.path(), "3\r\n17\r\n"));
    // A second name for the old file keeps the old content only when a new
    // file is renamed over the old one instead of rewriting it in place.
    const QString oldName = dir.filePath(u"old"_qs);
    QCOMPARE(::link(QFile::encodeName(file.path()).constData(), QFile::encodeName(oldName).constData()), 0);
    QCOMPARE(file.write(QString()), std::nullopt);
    QCOMPARE(readRaw(file.path()), QByteArray("\r\n"));
    QCOMPARE(readRaw(oldName), QByteArray("3\r\n17\r\n"));
    // Beside the program only where a file can be made there.
    QCOMPARE(PortSettingsFile::chooseFolder(dir.path(), u"user"_qs), dir.path());
    QCOMPARE(PortSettingsFile::chooseFolder(oldName, u"user"_qs), u"user"_qs);  // a file, not a folder
    // A file that cannot be written (a folder stands in its place): the path and the reason.
    const PortSettingsFile blocked(dir.path());
    QVERIFY(QDir(dir.path()).mkpath(u"portnum.ini/inside"_qs));
    const std::optional<QString> error = blocked.write(u"3"_qs);
    QVERIFY(error && error->contains(blocked.path()) && !error->section(u':', -1).trimmed().isEmpty());
  }

  // The paths that the window cannot show on its own: what start-up writes on
  // the way, and the whole range of ports the dialog takes (a first start and a
  // stored port that opens: the window's tests).
  void paths_data() {
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<QStringList>("actions");  // what each event asks for
    QTest::newRow("blank line, then a port change")  // the change leaves the file alone, shows the port in use
        << QStringList{"start  ", "answer Com 3", "closed", "change"}
        << QStringList{u"window, write 0, "_qs + kChoosing + u", dialog 1 RS"_qs, QString(), u"open 3 RS"_qs,
                       u"stop auto update, close, window, "_qs + kChanging + u", dialog 3 RS"_qs};
    QTest::newRow("no listed port at start-up")
        << QStringList{"start 0", "answer com 5 keep", "closed", "answer Com 16", "closed"}
        << QStringList{u"window, "_qs + kChoosing + u", dialog 1 RS"_qs, kChoose, kDefault, QString(), u"open 16 RS"_qs};
  }
  void paths() {
    QFETCH(QStringList, events);
    QFETCH(QStringList, actions);
    PortSetup setup;
    for (qsizetype i = 0; i < events.size(); ++i) QCOMPARE(happen(setup, events[i]), actions.value(i));
  }
};

QTEST_GUILESS_MAIN(SettingsTest)
#include "tst_settings.moc"
