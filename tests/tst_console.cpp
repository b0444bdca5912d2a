// The fleet console in a real browser (Debian's chromium through
// chromedriver), served by a real mosquitto set up as the shipped site
// files set it up, with real bridges whose modules are pseudo-terminals.

#include "encoder/message_builder.h"
#include "sim/pseudo_terminal.h"
#include "tests/support/browser.h"
#include "tests/support/bytes.h"

#include <QJsonArray>

#include <csignal>
#include <map>
#include <memory>

namespace {

// One display: its module's line, and its bridge logged in as the shipped ACL names it.
struct BridgedModule {
  vf::PseudoTerminal line;
  QProcess bridge;
  // What reached the module in ms, the update commands left out.
  QByteArray received(int ms) { return line.readExactly(1 << 20, ms).replace(kUpdateCommand, ""); }
};

}  // namespace

class ConsoleTest : public QObject {
  Q_OBJECT
  Site site_;
  QTemporaryDir state_;
  std::map<QString, std::unique_ptr<BridgedModule>> displays_;  // by name
  Browser browser_;

  QString page() const { return QStringLiteral("http://127.0.0.1:%1/").arg(site_.ports[1]); }
  // Each card as "name: state words".
  QStringList cards() {
    return browser_.script(u"return Array.from(document.querySelectorAll('#displays [data-name]'),"
                           " c => c.dataset.name + ': ' + c.querySelector('.state').innerText)"_qs).toVariant().toStringList();
  }
  bool shown(const QString &css) { return browser_.script(u"const e = document.querySelector(arguments[0]); return !!e && !e.closest('[hidden]') && !e.disabled"_qs, {css}).toBool(); }
  void logIn(const QString &user, const QString &password) {
    QVERIFY(browser_.go(page()));
    QTRY_VERIFY_WITH_TIMEOUT(shown(u"#login"_qs), 10000);
    QVERIFY(browser_.type(u"#user"_qs, user) && browser_.type(u"#password"_qs, password) && browser_.click(u"#connect"_qs));
  }

 private slots:
  void initTestCase() {
    qputenv("XDG_STATE_HOME", state_.path().toUtf8());
    QVERIFY(site_.start({u"vf3360-hall-1"_qs, u"vf3360-hall-2"_qs, u"vf3360-gate"_qs, u"operator"_qs, u"viewer"_qs, u"lobby"_qs},
                        QStringLiteral(VF_CONSOLE_DIR),
                        u"user vf3360-gate\ntopic read vf3360/gate/+\ntopic write vf3360/gate/status\ntopic write vf3360/gate/event\n"
                        "topic write vf3360/reply/#\n\nuser lobby\ntopic read vf3360/hall-1/+\ntopic write vf3360/hall-1/speed\n"_qs));
    for (const QString &name : {u"hall-1"_qs, u"hall-2"_qs, u"gate"_qs}) {
      auto &display = displays_[name] = std::make_unique<BridgedModule>();
      QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
      env.insert(u"VF3360_MQTT_PASSWORD"_qs, u"pw-vf3360-"_qs + name);
      display->bridge.setProcessEnvironment(env);
      display->bridge.setStandardOutputFile(QProcess::nullDevice());
      endsWithTest(display->bridge);
      display->bridge.start(QStringLiteral(VF3360_BRIDGE_PATH),
                            {u"--name"_qs, name, u"--group"_qs, name.section(u'-', 0, 0), u"--device"_qs, display->line.path(),
                             u"--broker"_qs, QStringLiteral("127.0.0.1:%1").arg(site_.broker.port), u"--username"_qs, u"vf3360-"_qs + name});
      QVERIFY(display->bridge.waitForStarted());
    }
    QVERIFY2(browser_.start(), qPrintable(browser_.lastError()));
  }

  // The broker says who may see and do what: the page asks for a user when it must, says a refusal in words,
  // shows only the displays the user may read, and turns read-only for a user whose publishes are refused.
  void access_data() {
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QStringList>("listed");
    QTest::addColumn<bool>("mayPublish");
    const QStringList all{u"gate: オンライン"_qs, u"hall-1: オンライン"_qs, u"hall-2: オンライン"_qs};
    QTest::newRow("wrong password") << "operator" << "falsch" << QStringList{} << false;
    QTest::newRow("viewer") << "viewer" << "pw-viewer" << all << false;
    QTest::newRow("one display's topics") << "lobby" << "pw-lobby" << QStringList{u"hall-1: オンライン"_qs} << false;
    QTest::newRow("operator") << "operator" << "pw-operator" << all << true;  // the tests below go on as the operator
  }
  void access() {
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(QStringList, listed);
    QFETCH(bool, mayPublish);
    logIn(user, password);
    if (QTest::currentTestFailed()) return;
    if (listed.isEmpty()) {
      QTRY_VERIFY_WITH_TIMEOUT(browser_.text(u"#login-error"_qs).startsWith(u"ユーザー名またはパスワードが違います"_qs), 10000);
      QVERIFY(shown(u"#login"_qs) && cards().isEmpty());
      return;
    }
    QTRY_COMPARE_WITH_TIMEOUT(cards(), listed, 10000);
    QVERIFY(!shown(u"#login"_qs));
    // A read-only user is found out by the broker's answer to the page's first check request.
    QTRY_COMPARE_WITH_TIMEOUT(shown(u"#readonly"_qs), !mayPublish, 5000);
    QCOMPARE(shown(u"#send"_qs), mayPublish);
    if (!mayPublish) {
      QVERIFY(browser_.text(u"#readonly"_qs).contains(u"0x87"_qs) && browser_.click(u"#send"_qs));
      for (auto &[name, display] : displays_) QCOMPARE(display->received(300), QByteArray());
    }
  }

  // Every control has a name in Japanese for a screen reader, and each display its own name.
  void accessibleNames() {
    const std::map<QString, QString> names{{u"#text"_qs, u"表示するテキスト"_qs}, {u"#send"_qs, u"送信"_qs}, {u"#clear"_qs, u"表示クリア"_qs},
                                           {u"#rewind"_qs, u"頭だし"_qs}, {u"#speed"_qs, u"速度"_qs}, {u"[data-name='gate']"_qs, u"gate"_qs}};
    for (const auto &[css, name] : names) QCOMPARE(browser_.label(css), name);
  }

  // A text goes to its displays byte for byte as "変換 + 送信" sends it, to no other, its unusable characters marked first.
  void sendsText_data() {
    QTest::addColumn<QStringList>("choose");  // what is clicked to choose the displays, or "css → keys" typed
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("marked");
    QTest::addColumn<QString>("count");
    QTest::addColumn<int>("speed");
    QTest::addColumn<QStringList>("reached");
    QTest::addColumn<QString>("face");  // what the cards draw
    const QString blanks(14, QChar(0x3000));
    QTest::newRow("one picked") << QStringList{u"#target-picked"_qs, u"[data-pick='hall-1'] input"_qs} << "髙島屋" << "髙" << "3 / 2033"
                                << 3 << QStringList{u"hall-1"_qs} << QString(QChar(0xFFFD));
    QTest::newRow("a group") << QStringList{u"#target-group"_qs, u"#group → hall"_qs} << "ﾎｰﾙ　開演" << "" << "6 / 2033" << 1
                             << QStringList{u"hall-1"_qs, u"hall-2"_qs} << "ホール　開演" + blanks;
    QTest::newRow("all") << QStringList{u"#target-all"_qs} << "本日休館" << "" << "4 / 2033" << 5
                         << QStringList{u"gate"_qs, u"hall-1"_qs, u"hall-2"_qs} << "本日休館" + blanks;
  }
  void sendsText() {
    QFETCH(QStringList, choose);
    QFETCH(QString, text);
    QFETCH(QString, marked);
    QFETCH(QString, count);
    QFETCH(int, speed);
    QFETCH(QStringList, reached);
    QFETCH(QString, face);
    for (const QString &step : choose) {
      const QString css = step.section(u" → "_qs, 0, 0), keys = step.section(u" → "_qs, 1);
      QVERIFY2(keys.isEmpty() ? browser_.click(css) : browser_.type(css, keys), qPrintable(step + u' ' + browser_.lastError()));
    }
    QVERIFY(browser_.click(u"#text"_qs) && browser_.script(u"document.getElementById('text').value = ''; return true"_qs).toBool() &&
            browser_.type(u"#text"_qs, text));
    QTRY_VERIFY_WITH_TIMEOUT(browser_.text(u"#count"_qs).contains(count), 5000);
    QCOMPARE(browser_.script(u"return Array.from(document.querySelectorAll('#marks mark'), m => m.textContent).join('')"_qs).toString(), marked);
    // The speed by keys, as a person picks it from the list.
    QVERIFY(browser_.click(u"#speed"_qs) && browser_.type(u"#speed"_qs, QString::number(speed)));
    for (auto &[name, display] : displays_) display->received(100);
    QVERIFY(browser_.type(u"#text"_qs, QString(Browser::kControl) + Browser::kEnter + Browser::kRelease));
    const QByteArray message = joined(vf::buildMessage(text, speed).writes);
    for (auto &[name, display] : displays_)
      QCOMPARE(display->received(reached.contains(name) ? 2500 : 500), reached.contains(name) ? message : QByteArray());
    for (const QString &name : reached) {
      QTRY_COMPARE_WITH_TIMEOUT(browser_.script(u"return document.querySelector(`[data-name='${arguments[0]}'] .face`).dataset.text"_qs, {name})
                                    .toString(), face, 5000);
    }
  }

  // What comes from the broker is shown as text, never as markup: here a bridge's refusal quoting what it was sent.
  void brokerTextShownAsText() {
    QCOMPARE(QProcess::execute(u"mosquitto_pub"_qs, site_.broker.args() + QStringList{"-u", "lobby", "-P", "pw-lobby", "-t", "vf3360/hall-1/speed", "-m", "<i>9</i>"}), 0);
    QTRY_VERIFY_WITH_TIMEOUT(browser_.text(u"[data-name='hall-1'] .events"_qs).contains(u"not \"<i>9</i>\""_qs), 10000);
  }

  // A display whose device goes away says so; once its bridge is gone (killed: the broker publishes its last
  // will) it is offline, since a time the page cannot know when it finds the will retained.
  void displayGone() {
    BridgedModule &gate = *displays_[u"gate"_qs];
    gate.line.closeFarEnd();
    QTRY_VERIFY_WITH_TIMEOUT(cards().join(u'\n').contains(u"gate: デバイスなし: "_qs), 10000);  // with why
    ::kill(pid_t(gate.bridge.processId()), SIGKILL);
    QVERIFY(gate.bridge.waitForFinished());
    QTRY_VERIFY_WITH_TIMEOUT(cards().contains(u"gate: オフライン"_qs), 10000);
    logIn(u"operator"_qs, u"pw-operator"_qs);
    QTRY_VERIFY_WITH_TIMEOUT(browser_.text(u"[data-name='gate'] .since"_qs).contains(u"不明"_qs), 10000);
  }

  void cleanupTestCase() {
    for (auto &[name, display] : displays_) {
      display->bridge.terminate();
      display->bridge.waitForFinished();
    }
  }
};

QTEST_GUILESS_MAIN(ConsoleTest)
#include "tst_console.moc"
