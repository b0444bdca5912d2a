// Start-up of the real main window: portnum.ini in a temporary program folder,
// port numbers that name pseudo-terminals, the port selection dialog answered
// as an operator would, every retry path and every message.

#include "link/port_opening.h"
#include "tests/port_window_harness.h"

#include <QSerialPort>
#include <QtTest>

using namespace harness;
using vf::kKindRs232c;
using vf::kKindUsbConverter;

namespace {

const QString kCreating = QStringLiteral("初期設定ファイル portnum.ini を作成します");
const QString kDidNotOpen = QStringLiteral("ポートが開けませんでした");
const QString kChoosePort = QStringLiteral("ポート番号を選択してください");

}  // namespace

class StartupTest : public QObject {
  Q_OBJECT

  // Start-up has ended with the port open on `pty` as port `portNum` of `kind`.
  static void checkOpen(PortRig &rig, PseudoTerminal &pty, int portNum, int kind) {
    QVERIFY(rig.w().SendControlCommand(vf::CommandCode::Update));
    QCOMPARE(readAtFarEnd(pty, 7), updateCommand());  // it is this pseudo-terminal that is open
    QCOMPARE(label(rig.w(), "Label13")->text(), vf::openPortStatusText(portNum, kind));
    QCOMPARE(vf::portState().PortNum, portNum);
    QCOMPARE(vf::portState().PortKind, kind);
    QCOMPARE(vf::portState().IniRewritten, 0);
    QCOMPARE(rig.dialogOperator->unexpected, 0);
  }

 private slots:
  // What portnum.ini holds at start-up (null: no file), the port that opens
  // (asked for, with 設定を保持 as given, when nothing is stored), the file
  // afterwards and the messages.
  void startup_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("portNum");
    QTest::addColumn<bool>("usb");
    QTest::addColumn<bool>("asks");
    QTest::addColumn<bool>("keep");
    QTest::addColumn<QByteArray>("after");
    QTest::newRow("no file, kept") << QByteArray() << 5 << true << true << true << QByteArray("21\r\n");
    QTest::newRow("no file, not kept") << QByteArray() << 5 << true << true << false << QByteArray("0\r\n");
    QTest::newRow("3") << QByteArray("3\r\n") << 3 << false << false << false << QByteArray("3\r\n");
    QTest::newRow("19") << QByteArray("19\r\n") << 3 << true << false << false << QByteArray("19\r\n");
    QTest::newRow("0") << QByteArray("0\r\n") << 2 << false << true << false << QByteArray("0\r\n");
    QTest::newRow("empty line") << QByteArray("\r\n") << 2 << false << true << false << QByteArray("0\r\n");
    QTest::newRow("single blank") << QByteArray(" \r\n") << 2 << false << true << false << QByteArray("0\r\n");
    QTest::newRow("junk") << QByteArray("\x13junk\xff\r\n") << 2 << false << true << false
                          << QByteArray("\x13junk\xff\r\n");
  }
  void startup() {
    QFETCH(QByteArray, content);
    QFETCH(int, portNum);
    QFETCH(bool, usb);
    QFETCH(bool, asks);
    QFETCH(bool, keep);
    QFETCH(QByteArray, after);
    const int kind = usb ? kKindUsbConverter : kKindRs232c;
    PseudoTerminal pty;
    PortRig rig;
    rig.map(portNum, kind, pty);
    if (!content.isNull()) QVERIFY(rig.writeIni(content));
    rig.dialogOperator->answers = {{QStringLiteral("Com %1").arg(portNum), usb, keep}};

    rig.w().Form_Load();

    QCOMPARE(rig.messages(), content.isNull() ? QStringList{kCreating} : QStringList());
    QCOMPARE(rig.dialogOperator->sightings.size(), asks ? 1 : 0);
    if (asks) {
      QVERIFY(rig.dialogOperator->sightings[0].mainWindowVisible);
      QVERIFY(!rig.dialogOperator->sightings[0].portOpen);
    }
    checkOpen(rig, pty, portNum, kind);
    QCOMPARE(rig.ini(), after);
  }

  // Text in the combo box that is no entry: no port is chosen, start-up asks again.
  void comboTextThatIsNoEntry() {
    PseudoTerminal pty;
    PortRig rig;
    rig.map(4, kKindRs232c, pty);
    rig.dialogOperator->answers = {{"com 4", false, true}, {"Com 4", false, false}};
    rig.w().Form_Load();
    QCOMPARE(rig.messages(), QStringList({kCreating, kChoosePort}));
    QCOMPARE(rig.dialogOperator->sightings.size(), 2);
    checkOpen(rig, pty, 4, kKindRs232c);
    QCOMPARE(rig.ini(), QByteArray("0\r\n"));  // 設定を保持 without a port stores no port
  }

  void storedPortDoesNotOpen_data() {
    QTest::addColumn<bool>("inUse");
    QTest::newRow("no such device") << false;
    QTest::newRow("in use by another program") << true;
  }
  // The message, the file reset to "0", the dialog; a chosen port that does
  // not open either leads to the dialog once more.
  void storedPortDoesNotOpen() {
    QFETCH(bool, inUse);
    PseudoTerminal pty;
    PseudoTerminal busy;
    QSerialPort otherProgram;
    PortRig rig;
    rig.map(7, kKindRs232c, pty);
    if (inUse) {
      rig.map(3, kKindRs232c, busy);
      otherProgram.setPortName(busy.path());
      QVERIFY(otherProgram.open(QIODevice::ReadWrite));
    }
    QVERIFY(rig.writeIni("3\r\n"));
    rig.dialogOperator->answers = {{"Com 6", false, true}, {"Com 7", false, true}};
    rig.w().Form_Load();
    QCOMPARE(rig.messages(), QStringList({kDidNotOpen, kDidNotOpen}));
    QCOMPARE(rig.dialogOperator->sightings.size(), 2);
    for (const DialogSighting &seen : rig.dialogOperator->sightings) {
      QCOMPARE(seen.fileContent, QByteArray("0\r\n"));
      QVERIFY(!seen.portOpen);
    }
    checkOpen(rig, pty, 7, kKindRs232c);
    QCOMPARE(rig.ini(), QByteArray("7\r\n"));
  }

  // portnum.ini cannot be written: the operator is told the path and the
  // reason, is asked for a port, and the program goes on with it.
  void settingsThatCannotBeWritten() {
    PseudoTerminal pty;
    PortRig rig;
    rig.map(5, kKindRs232c, pty);
    const QString blocked = rig.folder.filePath(QStringLiteral("blocked"));
    QVERIFY(writeRaw(blocked, "x"));
    rig.w().setSettingsFolder(blocked + QStringLiteral("/program"));
    const QString path = QDir::toNativeSeparators(rig.w().settings().path());
    rig.dialogOperator->answers = {{"Com 5", false, true}};
    rig.w().Form_Load();
    checkOpen(rig, pty, 5, kKindRs232c);
    // The creation message, then the dialog's load could not write "0" and
    // 設定を保持 could not store the choice.
    QCOMPARE(rig.messages().size(), 3);
    QCOMPARE(rig.messages()[0], kCreating);
    for (const int i : {1, 2}) QVERIFY2(rig.messages()[i].contains(path), qPrintable(rig.messages()[i]));
  }

  // While start-up waits, ポート変更 only brings the waiting dialog to the
  // front, and commands that write say that the port is not open.
  void commandsWhileStartupWaits() {
    PseudoTerminal pty;
    PortRig rig;
    rig.map(1, kKindRs232c, pty);
    rig.dialogOperator->whileOpen = [&](vf::Form2 &) {
      button(rig.w(), "Command5")->click();
      button(rig.w(), "Command7")->click();
    };
    rig.dialogOperator->answers = {{"Com 1", false, false}};
    rig.w().Form_Load();
    QCOMPARE(rig.dialogOperator->sightings.size(), 1);
    QCOMPARE(rig.messages(), QStringList({kCreating, QStringLiteral("ポートが開いていません")}));
    checkOpen(rig, pty, 1, kKindRs232c);
    QCOMPARE(readUntilQuiet(pty, 100), QByteArray());  // nothing was written on the way
  }
};

QTEST_MAIN(StartupTest)
#include "tst_startup.moc"
