// The display session on real pseudo-terminals: a message followed to its
// last byte, the update ticks, auto update, the cue reply, a lost device.

#include "session/display_session.h"
#include "sim/pseudo_terminal.h"
#include "tests/support/bytes.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace vf;

namespace {

// What reaches the far end in the next ms (or up to count bytes), the
// session's event loop running meanwhile.
QByteArray arrived(PseudoTerminal &line, int ms, qsizetype count = 1 << 24) {
  QByteArray bytes;
  for (QDeadlineTimer deadline(ms); !deadline.hasExpired() && bytes.size() < count;) {
    QTest::qWait(2);
    bytes += line.readFor(0);
  }
  return bytes;
}

// Update commands among the bytes of the next ms; -1 when anything else came.
int updates(PseudoTerminal &line, int ms) {
  const QByteArray bytes = arrived(line, ms);
  return bytes == kUpdateCommand.repeated(bytes.size() / kUpdateCommand.size()) ? int(bytes.size() / kUpdateCommand.size()) : -1;
}

struct Session {
  explicit Session(DisplaySession::Options options = {}, const QString &device = {})
      : session([this, device](int, ConnectionKind) { return device.isEmpty() ? line.path() : device; }, options) {
    open = session.open(1, ConnectionKind::Rs232c).open;
  }
  // Sends a one-frame text and reads its bytes at the far end.
  bool sendText() {
    const BuiltMessage message = session.prepare(u"あ"_qs, 1);
    return !session.send(message) && arrived(line, 5000, joined(message.writes).size()).left(joined(message.writes).size()) == joined(message.writes);
  }
  PseudoTerminal line;
  DisplaySession session;
  bool open = false;
};

}  // namespace

class SessionTest : public QObject {
  Q_OBJECT
 private slots:
  // After a message the update command goes out every 20 ms whatever the switch; auto update switched on starts
  // them alone, applied as by the menu item or by a refused text. Whatever the module says then stops them, unless
  // auto update is on; switching it off stops them (so does applying it while it is off: the window's tests).
  void ticks_data() {
    QTest::addColumn<QString>("start");  // message, apply or refused
    QTest::addColumn<bool>("autoUpdate");
    QTest::newRow("after a message") << "message" << false;
    QTest::newRow("auto update") << "apply" << true;
    QTest::newRow("auto update, applied by a refused text") << "refused" << true;
  }
  void ticks() {
    QFETCH(QString, start);
    QFETCH(bool, autoUpdate);
    Session s;
    s.session.setAutoUpdate(autoUpdate);
    if (start == u"message") QVERIFY(s.sendText());
    else if (start == u"apply") s.session.applyAutoUpdate();
    else QVERIFY(s.session.prepare(QString(2034, u'字'), 1).outcome == RunOutcome::TooLong);
    QVERIFY2(updates(s.line, 500) >= 10, "25 when nothing delays them");
    QVERIFY(s.line.write(hex("11223344")));  // the module says something
    if (autoUpdate) {
      QVERIFY(updates(s.line, 300) >= 5);
      s.session.setAutoUpdate(false);
    }
    QVERIFY(updates(s.line, 100) >= 0);
    QCOMPARE(updates(s.line, 300), 0);
    QVERIFY(!s.session.updating());
  }

  // A cue reply is answered with the data cue command; the reply's text is told.
  void cueReply() {
    Session s;
    QSignalSpy answered(&s.session, &DisplaySession::cueAnswered), shown(&s.session, &DisplaySession::replyShown);
    QVERIFY(s.line.write(hex("1122C000")));
    QCOMPARE(arrived(s.line, 5000, kDataCueCommand.size()), kDataCueCommand);
    QTRY_COMPARE(answered.size(), 1);
    QCOMPARE(shown.value(0).value(0).toString(), u"ﾀ"_qs);
    s.session.end();  // ended, it answers nothing
    QVERIFY(s.line.write(hex("1122C000")));
    QCOMPARE(arrived(s.line, 200), QByteArray());
  }

  // The message is told done once its last byte has left; with the port closed first, not all of it left.
  void messageDone() {
    Session s;
    QSignalSpy done(&s.session, &DisplaySession::messageDone);
    QVERIFY(s.line.holdOutput(true));
    const BuiltMessage message = s.session.prepare(QString(2033, u'字'), 1);
    QVERIFY(!s.session.send(message) && s.session.messageOnLine());
    QTest::qWait(300);
    QCOMPARE(done.size(), 0);
    QVERIFY(s.line.holdOutput(false));
    QCOMPARE(arrived(s.line, 5000, joined(message.writes).size()).left(joined(message.writes).size()), joined(message.writes));
    QTRY_COMPARE(done.size(), 1);
    QCOMPARE(done[0][0].toBool(), true);

    Session lost;
    QSignalSpy lostDone(&lost.session, &DisplaySession::messageDone);
    QVERIFY(lost.line.holdOutput(true));
    QVERIFY(!lost.session.send(lost.session.prepare(QString(2033, u'字'), 1)));
    lost.session.link().close();
    QTRY_COMPARE(lostDone.size(), 1);
    QCOMPARE(lostDone[0][0].toBool(), false);
  }

  // Held for the line: no update is written behind a line that has not taken what it has (one waits), and a line
  // that takes nothing for its line time and a second is told once.
  void heldForTheLine() {
    Session s({.holdUpdatesForLine = true});
    QSignalSpy stuck(&s.session, &DisplaySession::lineStuck);
    s.session.setAutoUpdate(true);
    s.session.applyAutoUpdate();
    QVERIFY(updates(s.line, 200) >= 4);
    QVERIFY(s.line.holdOutput(true));
    QTRY_COMPARE_WITH_TIMEOUT(stuck.size(), 1, 3000);
    QTest::qWait(1500);  // still held: told once
    QCOMPARE(stuck.size(), 1);
    QVERIFY(s.line.holdOutput(false));
    const int burst = updates(s.line, 15);
    // the one the hold caught, perhaps one more the driver had, and the one that waited
    QVERIFY2(burst >= 0 && burst <= 3, qPrintable(QString::number(burst)));
    QVERIFY(updates(s.line, 300) >= 5);
    QCOMPARE(stuck.size(), 1);

    Session free;  // not held: every tick writes, the line's own buffer takes them
    free.session.setAutoUpdate(true);
    free.session.applyAutoUpdate();
    QVERIFY(free.line.holdOutput(true));
    QTest::qWait(500);
    QVERIFY(free.line.holdOutput(false));
    QVERIFY(updates(free.line, 15) >= 15);
  }

  // A device that goes away stops the ticks; with a reopening pause its port is tried until it is back.
  void deviceLost() {
    QTemporaryDir dir;
    const QString device = dir.filePath(u"module"_qs);
    PseudoTerminal first;
    QVERIFY(QFile::link(first.path(), device));
    Session s({.holdUpdatesForLine = false, .reopenMs = 100}, device);
    QVERIFY(s.open);
    QSignalSpy lost(&s.session, &DisplaySession::deviceLost), tried(&s.session, &DisplaySession::opened);
    s.session.setAutoUpdate(true);
    s.session.applyAutoUpdate();
    QVERIFY(updates(first, 100) >= 2);
    first.closeFarEnd();
    QTRY_COMPARE(lost.size(), 1);
    QVERIFY(!s.session.updating() && !s.session.link().isOpen());
    QTRY_VERIFY(tried.size() >= 2);  // each try told, the device still gone
    QVERIFY(!tried.last()[0].value<PortOpenResult>().open);
    PseudoTerminal back;
    QVERIFY(QFile::remove(device) && QFile::link(back.path(), device));
    QTRY_VERIFY(!tried.isEmpty() && tried.last()[0].value<PortOpenResult>().open);
    const qsizetype tries = tried.size();
    QTest::qWait(300);
    QCOMPARE(tried.size(), tries);  // open: no more tries
    QVERIFY(s.session.link().isOpen() && !s.session.updating());

    Session once({}, device);  // without a pause, never tried again
    QSignalSpy onceTried(&once.session, &DisplaySession::opened);
    QVERIFY(QFile::remove(device));
    QVERIFY(!once.session.open(1, ConnectionKind::Rs232c).open);
    QTest::qWait(300);
    QCOMPARE(onceTried.size(), 0);
  }
};

QTEST_GUILESS_MAIN(SessionTest)
#include "tst_session.moc"
