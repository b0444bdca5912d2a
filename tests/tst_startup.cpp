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
    QVERIFY(rig.w().port().isOpen());
    // It is this pseudo-terminal that is open.
    QVERIFY(rig.w().SendControlCommand(vf::CommandCode::Update));
    QCOMPARE(readAtFarEnd(pty, 7), updateCommand());
    QCOMPARE(label(rig.w(), "Label13")->text(), vf::openPortStatusText(portNum, kind));
    const vf::PortState &s = vf::portState();
    QCOMPARE(s.PortNum, portNum);
    QCOMPARE(s.PortKind, kind);
    QCOMPARE(s.PortChosen, 1);
    QCOMPARE(s.IniRewritten, 0);
    QCOMPARE(rig.dialogOperator->unexpected, 0);
  }

 private slots:
  void firstStart_data() {
    QTest::addColumn<bool>("keep");
    QTest::addColumn<QByteArray>("fileAfter");
    QTest::newRow("choice kept") << true << QByteArray("21\r\n");
    QTest::newRow("choice not kept") << false << QByteArray("0\r\n");
  }
  // No portnum.ini: the creation message, then the dialog over the visible
  // main window, with the file reading "0" while it is open. "Com 5" with
  // USB変換 opens converter port 5.
  void firstStart() {
    QFETCH(bool, keep);
    QFETCH(QByteArray, fileAfter);
    PseudoTerminal pty;
    PortRig rig;
    rig.map(5, kKindUsbConverter, pty);
    rig.dialogOperator->answers = {{"Com 5", true, keep}};

    rig.w().Form_Load();

    QCOMPARE(rig.messages(), QStringList{kCreating});
    QCOMPARE(rig.dialogOperator->sightings.size(), 1);
    const DialogSighting &seen = rig.dialogOperator->sightings.first();
    QCOMPARE(seen.fileContent, QByteArray("0\r\n"));
    QVERIFY(seen.mainWindowVisible);
    QVERIFY(!seen.portOpen);
    QCOMPARE(seen.label13, QStringLiteral("ポートクローズ"));
    QCOMPARE(seen.state.PortChosen, 0);
    QCOMPARE(seen.state.IniRewritten, 1);
    checkOpen(rig, pty, 5, kKindUsbConverter);
    QCOMPARE(rig.ini(), fileAfter);
  }

  void storedCode_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("portNum");
    QTest::addColumn<int>("kind");
    QTest::newRow("3") << QByteArray("3\r\n") << 3 << kKindRs232c;
    QTest::newRow("16") << QByteArray("16\r\n") << 16 << kKindRs232c;
    QTest::newRow("17") << QByteArray("17\r\n") << 1 << kKindUsbConverter;
    QTest::newRow("19") << QByteArray("19\r\n") << 3 << kKindUsbConverter;
  }
  // A stored code opens its port without asking; the file stays as it was.
  void storedCode() {
    QFETCH(QByteArray, content);
    QFETCH(int, portNum);
    QFETCH(int, kind);
    PseudoTerminal pty;
    PortRig rig;
    rig.map(portNum, kind, pty);
    QVERIFY(rig.writeIni(content));

    rig.w().Form_Load();

    QCOMPARE(rig.messages(), QStringList());
    QCOMPARE(rig.dialogOperator->sightings.size(), 0);
    checkOpen(rig, pty, portNum, kind);
    QCOMPARE(rig.ini(), content);
  }

  void noPortStored_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QByteArray>("whileAsking");  // the file while the dialog is open
    QTest::newRow("0") << QByteArray("0\r\n") << QByteArray("0\r\n");
    QTest::newRow("empty line") << QByteArray("\r\n") << QByteArray("0\r\n");
    QTest::newRow("single blank") << QByteArray(" \r\n") << QByteArray("0\r\n");
    QTest::newRow("no line at all") << QByteArray() << QByteArray();
    QTest::newRow("junk") << QByteArray("\x13junk\xff\r\n") << QByteArray("\x13junk\xff\r\n");
  }
  // Every file that stores no port asks for one; blank files become "0".
  void noPortStored() {
    QFETCH(QByteArray, content);
    QFETCH(QByteArray, whileAsking);
    PseudoTerminal pty;
    PortRig rig;
    rig.map(2, kKindRs232c, pty);
    QVERIFY(rig.writeIni(content));
    rig.dialogOperator->answers = {{"Com 2", false, false}};

    rig.w().Form_Load();

    QCOMPARE(rig.messages(), QStringList());
    QCOMPARE(rig.dialogOperator->sightings.size(), 1);
    QCOMPARE(rig.dialogOperator->sightings.first().fileContent, whileAsking);
    checkOpen(rig, pty, 2, kKindRs232c);
    QCOMPARE(rig.ini(), whileAsking);
  }

  // Text in the combo box that is no entry: the dialog says so and closes,
  // no port is chosen, and start-up asks again.
  void comboTextThatIsNoEntry() {
    PseudoTerminal pty;
    PortRig rig;
    rig.map(4, kKindRs232c, pty);
    rig.dialogOperator->answers = {{"com 4", false, true}, {"Com 17", false, false}, {"Com 4", false, false}};

    rig.w().Form_Load();

    QCOMPARE(rig.messages(), QStringList({kCreating, kChoosePort, kChoosePort}));
    QCOMPARE(rig.dialogOperator->sightings.size(), 3);
    for (const DialogSighting &seen : rig.dialogOperator->sightings) {
      QCOMPARE(seen.fileContent, QByteArray("0\r\n"));
      QCOMPARE(seen.state.PortNum, 0);
    }
    checkOpen(rig, pty, 4, kKindRs232c);
    QCOMPARE(rig.ini(), QByteArray("0\r\n"));  // "設定を保持" without a port stores no port
  }

  void storedPortDoesNotOpen_data() {
    QTest::addColumn<bool>("inUse");
    QTest::newRow("no such device") << false;
    QTest::newRow("in use by another program") << true;
  }
  // The stored port does not open: the message, the file reset, the dialog;
  // a chosen port that does not open either leads to the dialog once more.
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
    QCOMPARE(rig.dialogOperator->sightings[0].fileContent, QByteArray("0\r\n"));
    QCOMPARE(rig.dialogOperator->sightings[1].fileContent, QByteArray("0\r\n"));
    for (const DialogSighting &seen : rig.dialogOperator->sightings) {
      QVERIFY(!seen.portOpen);
      QCOMPARE(seen.label13, QStringLiteral("ポートクローズ"));
    }
    checkOpen(rig, pty, 7, kKindRs232c);
    QCOMPARE(rig.ini(), QByteArray("7\r\n"));
  }

  // portnum.ini cannot be written (its folder's place is taken by a file):
  // the operator is told the path and the reason, is asked for a port, and
  // the program goes on with the port chosen.
  void settingsThatCannotBeWritten() {
    PseudoTerminal pty;
    PortRig rig;
    rig.map(5, kKindRs232c, pty);
    const QString blocked = rig.folder.filePath(QStringLiteral("blocked"));
    QVERIFY(writeRaw(blocked, "x"));
    rig.w().setSettingsFolder(blocked + QStringLiteral("/program"));
    const QString path = QDir::toNativeSeparators(rig.w().settings().path());
    rig.dialogOperator->answers = {{"Com 6", false, true}, {"Com 5", false, true}};

    rig.w().Form_Load();

    QCOMPARE(rig.dialogOperator->sightings.size(), 2);
    checkOpen(rig, pty, 5, kKindRs232c);
    // The creation message, then for each dialog: its load could not write
    // "0", "設定を保持" could not store the choice; in between the failed open.
    QCOMPARE(rig.messages().size(), 6);
    QCOMPARE(rig.messages()[0], kCreating);
    QCOMPARE(rig.messages()[3], kDidNotOpen);
    for (const int i : {1, 2, 4, 5}) {
      QVERIFY2(rig.messages()[i].contains(path), qPrintable(rig.messages()[i]));
      QVERIFY2(rig.messages()[i].section(u':', -1).trimmed().size() > 0, qPrintable(rig.messages()[i]));
    }
    QCOMPARE(readRaw(blocked), QByteArray("x"));
  }

  // While start-up waits, the window's commands work, "ポート変更" only
  // brings the waiting dialog to the front, and commands that write say that
  // the port is not open.
  void commandsWhileStartupWaits() {
    PseudoTerminal pty;
    PortRig rig;
    rig.map(1, kKindRs232c, pty);
    int dialogsWhileOpen = -1;
    rig.dialogOperator->whileOpen = [&](vf::Form2 &) {
      button(rig.w(), "Command5")->click();
      button(rig.w(), "Command7")->click();
      dialogsWhileOpen = 0;
      for (QWidget *w : QApplication::topLevelWidgets())
        if (qobject_cast<vf::Form2 *>(w) && w->isVisible()) ++dialogsWhileOpen;
    };
    rig.dialogOperator->answers = {{"Com 1", false, false}};

    rig.w().Form_Load();

    QCOMPARE(dialogsWhileOpen, 1);
    QCOMPARE(rig.dialogOperator->sightings.size(), 1);
    QCOMPARE(rig.messages(), QStringList({kCreating, QStringLiteral("ポートが開いていません")}));
    checkOpen(rig, pty, 1, kKindRs232c);
    // Nothing was written on the way; now the port takes commands.
    button(rig.w(), "Command7")->click();
    QCOMPARE(readAtFarEnd(pty, 7), bytesOf("00 00 18 00 00 18 EF"));
    QCOMPARE(readUntilQuiet(pty, 100), QByteArray());
  }
};

QTEST_MAIN(StartupTest)
#include "tst_startup.moc"
