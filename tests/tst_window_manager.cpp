// Under openbox on an Xvfb screen of each size, the real window (xcb): the preview opened afresh; at a first start the port
// dialog centred and as wide as its title, and the preview's place remembered on a larger screen taken only where it fits.

#include "tests/support/rig.h"
#include "ui/preview_window.h"

#include <QAbstractButton>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>

using namespace vf;

static QString text(QRect r) { return QStringLiteral("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height()); }
static QRect global(const QWidget *w) { return {w->mapToGlobal(QPoint()), w->size()}; }
static bool framed(const QWidget *w) { return w && w->isVisible() && w->frameGeometry().top() < w->geometry().top(); }

// What is wrong with the preview's frame: beyond the screen, over the main window's input field, buttons or speed
// choices, over the main window where there is room beside it or other than over its frame fields; too small a face.
static QString misplaced(const rig::WindowRig &rig, QSize screen, bool beside) {
  const auto *preview = rig.window->findChild<PreviewWindow *>();
  if (!framed(preview)) return u"not framed"_qs;
  const QRect frame = preview->frameGeometry(), over = frame & rig.window->frameGeometry();
  const QString where = text(frame) + u" by "_qs + text(rig.window->frameGeometry());
  if (!QRect(QPoint(), screen).contains(frame)) return where + u": beyond the screen"_qs;
  for (const QWidget *c : rig.window->findChildren<QWidget *>())  // the input field, buttons, speed choices
    if ((qobject_cast<const QAbstractButton *>(c) || c->objectName() == u"inputField") && frame.intersects(global(c))) return where + u": over "_qs + c->objectName();
  const QRect fields = global(rig.find<QWidget>(u"framePacketField1"_qs)) | global(rig.find<QWidget>(u"framePacketField16"_qs));
  if (!over.isEmpty() && (beside || over.top() < fields.top() || over.bottom() > fields.bottom())) return where + u": over the main window"_qs;
  return preview->faceScale() >= 1.0 / 3 ? QString() : where + u": drawn small"_qs;
}

class WindowManagerTest : public QObject {
  Q_OBJECT

  void onScreen(QSize screen, QRect remembered) {
    const bool beside = screen.height() >= 1024;  // room beside the main window (678 high), wherever it is put
    rig::WindowRig fresh;  // a port stored: the main window alone, then the preview opened afresh
    fresh.start();
    fresh.press(u"previewAction"_qs);
    QTRY_COMPARE_WITH_TIMEOUT(misplaced(fresh, screen, beside), QString(), 10000);
    fresh.window.reset();
    rig::WindowRig rig(std::nullopt);  // a first start, the preview open when the program last ended
    QSettings(rig.folder.filePath(u"window.ini"_qs), QSettings::IniFormat).setValue(u"preview/open"_qs, true);
    QSettings(rig.folder.filePath(u"window.ini"_qs), QSettings::IniFormat).setValue(u"preview/geometry"_qs, remembered);
    rig.start();
    QTRY_VERIFY(framed(rig.window.get()) && framed(rig.dialog()));
    const QWidget *dialog = rig.dialog(), *main = rig.window.get();
    const auto dialogAt = [&] { return text(dialog->frameGeometry()) + u" by "_qs + text(main->frameGeometry()); };
    QTRY_VERIFY2_WITH_TIMEOUT((dialog->frameGeometry().center() - main->frameGeometry().center()).manhattanLength() <= 2, qPrintable(dialogAt()), 10000);
    const int titleBar = dialog->geometry().top() - dialog->frameGeometry().top();  // openbox's
    QVERIFY2(dialog->frameGeometry().width() >= dialog->fontMetrics().horizontalAdvance(u"ポート選択"_qs) + 3 * titleBar, qPrintable(dialogAt()));
    const auto *preview = rig.window->findChild<PreviewWindow *>();
    const bool fits = QRect(QPoint(), screen).contains(remembered);  // then taken as it is
    QTRY_COMPARE_WITH_TIMEOUT(fits ? (framed(preview) ? text(preview->frameGeometry()) : QString()) : misplaced(rig, screen, beside), fits ? text(remembered) : QString(), 10000);
  }

 private slots:
  void placements_data() {
    QTest::addColumn<QSize>("screen");
    QTest::addColumn<QRect>("remembered");
    QTest::newRow("1024x768") << QSize(1024, 768) << QRect(0, 500, 1280, 146);      // from 1280 x 1024
    QTest::newRow("1280x1024") << QSize(1280, 1024) << QRect(559, 100, 1361, 153);  // from 1920 x 1080
    QTest::newRow("1920x1080") << QSize(1920, 1080) << QRect(559, 0, 1361, 153);    // from this screen
  }
  void placements() {
    QFETCH(QSize, screen);
    QFETCH(QRect, remembered);
    if (qEnvironmentVariableIsSet("VF_WM_SCREEN")) return onScreen(screen, remembered);
    if (QStandardPaths::findExecutable(u"Xvfb"_qs).isEmpty() || QStandardPaths::findExecutable(u"openbox"_qs).isEmpty()) QSKIP("Xvfb or openbox is missing: the packages xvfb and openbox (scripts/test installs them)");
    QProcess server, manager, program;
    server.start(u"Xvfb"_qs, QStringLiteral("-displayfd 1 -nolisten tcp -screen 0 %1x%2x24").arg(screen.width()).arg(screen.height()).split(u' '));
    QTRY_VERIFY_WITH_TIMEOUT(server.canReadLine() || server.state() == QProcess::NotRunning, 20000);  // a free display's number
    qputenv("DISPLAY", ':' + server.readLine().trimmed());  // for openbox and the window
    manager.start(u"openbox"_qs, {u"--sm-disable"_qs, u"--startup"_qs, u"echo managing"_qs});
    QTRY_VERIFY_WITH_TIMEOUT(manager.canReadLine(), 20000);  // "managing": openbox has started
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"QT_QPA_PLATFORM"_qs, u"xcb"_qs);
    env.insert(u"VF_WM_SCREEN"_qs, u"1"_qs);
    program.setProcessEnvironment(env);
    program.start(QCoreApplication::applicationFilePath(), {u"placements:"_qs + QString::fromLatin1(QTest::currentDataTag())});
    QVERIFY2(program.waitForFinished(120000) && program.exitStatus() == QProcess::NormalExit && !program.exitCode(), program.readAll().constData());
    for (QProcess *p : {&manager, &server}) p->terminate(), p->waitForFinished();
  }
};

QTEST_MAIN(WindowManagerTest)
#include "tst_window_manager.moc"
