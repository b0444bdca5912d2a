// portnum.ini, and start-up and the port change as a state machine: every
// path from the file as found, through the operator's answers and the results
// of opening, to the port that is open.

#include "settings/port_settings.h"
#include "settings/port_setup.h"

#include <QtTest>

#include <unistd.h>

using namespace vf;
using Form = StoredPortLine::Form;

namespace {

bool writeRaw(const QString &path, const QByteArray &bytes) {
  QFile f(path);
  return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QByteArray readRaw(const QString &path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

QString describe(const PortActions &actions) {
  static const char *const names[] = {"message ", "write ", "window", "dialog", "raise", "stop auto update", "close", "open ", "status "};
  QStringList parts;
  for (const PortAction &a : actions) {
    QString part = QString::fromUtf8(names[int(a.kind)]) + a.text + (a.quiet ? u" quietly"_qs : QString());
    if (a.kind == PortAction::Kind::OpenPort)
      part += QStringLiteral("%1 %2").arg(a.portNum).arg(a.portKind == ConnectionKind::UsbConverter ? "USB" : "RS");
    parts << part;
  }
  return parts.join(u", "_qs);
}

// One thing that happens: "start <first line>" ("start" alone: no file),
// "answer <combo text>[ usb][ keep]", "closed", "opened", "failed", "change".
QString happen(PortSetup &setup, const QString &event) {
  if (event.startsWith(u"start"_qs)) {
    const bool exists = event != u"start"_qs;
    return describe(setup.startUp(exists, parseStoredPortLine(event.mid(6).toLatin1(), false)));
  }
  if (event.startsWith(u"answer "_qs)) {
    QString text = event.mid(7);
    const bool keep = text.endsWith(u" keep"_qs);
    if (keep) text.chop(5);
    const bool usb = text.endsWith(u" usb"_qs);
    if (usb) text.chop(4);
    return describe(setup.confirmed({text, usb ? ConnectionKind::UsbConverter : ConnectionKind::Rs232c, keep}));
  }
  if (event == u"closed"_qs) return describe(setup.dialogClosed());
  if (event == u"opened"_qs) return describe(setup.portOpened(true));
  if (event == u"failed"_qs) return describe(setup.portOpened(false, u"/dev/ttyS4: busy"_qs));
  if (event == u"change"_qs) return describe(setup.changePort());
  return u"unknown event "_qs + event;
}

const QString kCreate = u"message 初期設定ファイル portnum.ini を作成します"_qs;
const QString kDefault = u"write 1 quietly, window, write 0, dialog"_qs;
const QString kChoose = u"message ポート番号を選択してください"_qs;
const QString kFailed = u"message ポートが開けませんでした\n/dev/ttyS4: busy"_qs;
QString status(int n, const char *kind) { return QStringLiteral("status オープン CommPort=%1 Settings=19200,N,8,1 %2").arg(n).arg(kind); }

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
    if (!content.isNull()) QVERIFY(writeRaw(file.path(), content));
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
    QVERIFY(writeRaw(file.path(), "3\r\n17\r\n"));
    // A second name for the old file keeps the old content only when a new
    // file is renamed over the old one instead of rewriting it in place.
    const QString oldName = dir.filePath(u"old"_qs);
    QCOMPARE(::link(QFile::encodeName(file.path()).constData(), QFile::encodeName(oldName).constData()), 0);
    QCOMPARE(file.write(QString()), std::nullopt);
    QCOMPARE(readRaw(file.path()), QByteArray("\r\n"));
    QCOMPARE(readRaw(oldName), QByteArray("3\r\n17\r\n"));
    // A file that cannot be written (a folder stands in its place): the path and the reason.
    const PortSettingsFile blocked(dir.path());
    QVERIFY(QDir(dir.path()).mkpath(u"portnum.ini/inside"_qs));
    const std::optional<QString> error = blocked.write(u"3"_qs);
    QVERIFY(error && error->contains(blocked.path()) && !error->section(u':', -1).trimmed().isEmpty());
  }

  void paths_data() {
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<QStringList>("actions");  // what each event asks for
    QTest::addColumn<QString>("state");        // PortNum PortKind PortChosen IniRewritten PortChanging at the end
    QTest::newRow("first start, kept")
        << QStringList{"start", "answer Com 5 usb keep", "closed", "opened"}
        << QStringList{kCreate + u", "_qs + kDefault, u"write 21"_qs, u"open 5 USB"_qs, status(5, "USB変換") + u", window"_qs}
        << "5 1 1 0 0";
    QTest::newRow("first start, not kept") << QStringList{"start", "answer Com 5"}
                                           << QStringList{kCreate + u", "_qs + kDefault, QString()} << "5 0 1 1 0";
    QTest::newRow("stored 3") << QStringList{"start 3", "opened"}
                              << QStringList{u"open 3 RS"_qs, status(3, "RS-232C") + u", window"_qs} << "3 0 1 0 0";
    QTest::newRow("stored 19") << QStringList{"start 19"} << QStringList{u"open 3 USB"_qs} << "3 1 1 0 0";
    QTest::newRow("stored 0") << QStringList{"start 0", "answer Com 2", "closed"}
                              << QStringList{u"window, dialog"_qs, QString(), u"open 2 RS"_qs} << "2 0 1 0 0";
    QTest::newRow("blank line") << QStringList{"start  "} << QStringList{u"window, write 0, dialog"_qs} << "0 0 0 0 0";
    QTest::newRow("stored port fails")
        << QStringList{"start 4", "failed", "answer Com 1", "closed", "opened"}
        << QStringList{u"open 4 RS"_qs, kFailed + u", "_qs + kDefault, QString(), u"open 1 RS"_qs, status(1, "RS-232C") + u", window"_qs}
        << "1 0 1 0 0";
    QTest::newRow("no listed port at start-up")
        << QStringList{"start 0", "answer com 5 keep", "closed", "answer Com 16", "closed"}
        << QStringList{u"window, dialog"_qs, kChoose + u", write "_qs, kDefault, QString(), u"open 16 RS"_qs}
        << "16 0 1 0 0";
    QTest::newRow("port change")
        << QStringList{"start 3", "opened", "change", "answer Com 7 usb", "closed", "opened"}
        << QStringList{u"open 3 RS"_qs, status(3, "RS-232C") + u", window"_qs, u"stop auto update, close, window, dialog"_qs,
                       QString(), u"open 7 USB"_qs, status(7, "USB変換")}
        << "7 1 1 0 0";
    QTest::newRow("port change: no listed port keeps the port, a failure asks again")
        << QStringList{"start 3", "opened", "change", "answer COM 12", "closed", "failed", "answer Com 3", "closed"}
        << QStringList{u"open 3 RS"_qs, status(3, "RS-232C") + u", window"_qs, u"stop auto update, close, window, dialog"_qs,
                       kChoose, u"open 3 RS"_qs, kFailed + u", stop auto update, close, window, dialog"_qs, QString(), u"open 3 RS"_qs}
        << "3 0 1 0 0";
    QTest::newRow("the port change leaves the file alone")
        << QStringList{"start  ", "answer Com 2 keep", "closed", "opened", "change"}
        << QStringList{u"window, write 0, dialog"_qs, u"write 2"_qs, u"open 2 RS"_qs, status(2, "RS-232C") + u", window"_qs,
                       u"stop auto update, close, window, dialog"_qs}
        << "2 0 0 0 0";
    QTest::newRow("change while start-up waits") << QStringList{"start 0", "change"}
                                                 << QStringList{u"window, dialog"_qs, u"raise"_qs} << "0 0 0 0 0";
  }
  void paths() {
    QFETCH(QStringList, events);
    QFETCH(QStringList, actions);
    QFETCH(QString, state);
    PortSetup setup;
    for (qsizetype i = 0; i < events.size(); ++i) QCOMPARE(happen(setup, events[i]), actions.value(i));
    QCOMPARE(QStringLiteral("%1 %2 %3 %4 %5")
                 .arg(setup.PortNum)
                 .arg(int(setup.PortKind))
                 .arg(setup.PortChosen)
                 .arg(setup.IniRewritten)
                 .arg(setup.PortChanging),
             state);
  }
};

QTEST_GUILESS_MAIN(SettingsTest)
#include "tst_settings.moc"
