// The fleet console under a site's load, in Debian's chromium (headless,
// through chromedriver) against a real mosquitto that serves the page:
//
// 1. DISPLAYS retained statuses on the broker, each as a real bridge
//    publishes it (one bridge's status, renamed): the time from asking the
//    browser for the page, and from the page's load event, to every display
//    listed, over RUNS loads, and the
//    memory of the page's renderer process and its JavaScript heap then.
// 2. SENDS texts to one display picked on the page, each a click on 送信:
//    the time from the click to the last byte of the message at the far end
//    of its bridge's line (a pseudo-terminal, which takes bytes at once),
//    from WebDriver's click command and from the click event in the page.
//
//   build/bench/bench_console [DISPLAYS=200] [RUNS=5] [SENDS=50]
//   build/bench/bench_console --screenshot FILE URL [TEXT]
//     (the console at URL, with TEXT typed, as a PNG: docs/console.png)

#include "spread.h"
#include "encoder/message_builder.h"
#include "sim/pseudo_terminal.h"
#include "tests/support/browser.h"
#include "tests/support/bytes.h"

#include <QCoreApplication>
#include <QDirIterator>
#include <QDateTime>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>

namespace {

void summarise(const char *what, std::vector<double> values, const char *unit) {
  const bench::Spread s = bench::spreadOf(std::move(values));
  std::printf("%-44s n=%zu  min %.1f  median %.1f  p99 %.1f  max %.1f %s\n", what, s.count, s.min, s.median, s.at(0.99), s.max, unit);
}

// The memory in MB of the page's renderer process (the largest renderer of
// a page: the browser keeps a spare one started, and the last page's a
// while), as its proportional set size: what it holds alone, and its share
// of what it shares.
double rendererMegabytes() {
  double largest = 0;
  for (QDirIterator it(u"/proc"_qs, QDir::Dirs | QDir::NoDotAndDotDot); it.hasNext();) {
    const QString dir = it.next();
    QFile cmdline(dir + u"/cmdline"_qs), rollup(dir + u"/smaps_rollup"_qs);
    if (!cmdline.open(QIODevice::ReadOnly)) continue;
    const QByteArray args = cmdline.readAll();
    if (!args.contains("--type=renderer") || args.contains("--top-chrome-webui") || !rollup.open(QIODevice::ReadOnly)) continue;
    for (const QByteArray &line : rollup.readAll().split('\n'))
      if (line.startsWith("Pss:")) largest = std::max(largest, line.simplified().split(' ').value(1).toDouble() / 1024);
  }
  return largest;
}

}  // namespace

int main(int argc, char **argv) {
  QCoreApplication app(argc, argv);
  if (argc > 3 && QByteArray(argv[1]) == "--screenshot") {
    Browser browser;
    if (!browser.start(1280, 1000) || !browser.go(QString::fromLocal8Bit(argv[3]))) return 1;
    QThread::msleep(3000);
    if (argc > 4) browser.type(u"#text"_qs, QString::fromLocal8Bit(argv[4]));
    QThread::msleep(1000);
    return writeFile(QString::fromLocal8Bit(argv[2]), browser.screenshot()) ? 0 : 1;
  }
  const int displays = argc > 1 ? atoi(argv[1]) : 200, runs = argc > 2 ? atoi(argv[2]) : 5, sends = argc > 3 ? atoi(argv[3]) : 50;
  Broker broker;
  const quint16 web = Broker::freePorts(2)[1];
  broker.site = u"listener %1 127.0.0.1\nallow_anonymous true\n"_qs +  // %1: the broker's own port
                QStringLiteral("listener %1 127.0.0.1\nprotocol websockets\nhttp_dir %2\n").arg(web).arg(QStringLiteral(VF_CONSOLE_DIR));
  vf::PseudoTerminal line;
  QProcess bridge, watch;
  if (!broker.start(false)) return std::fprintf(stderr, "bench_console: mosquitto did not start\n"), 1;
  bridge.setStandardErrorFile(QProcess::nullDevice());
  bridge.start(QStringLiteral(VF3360_BRIDGE_PATH), {u"--name"_qs, u"bench"_qs, u"--device"_qs, line.path(), u"--broker"_qs,
                                                      QStringLiteral("127.0.0.1:%1").arg(broker.port)});
  // A status as the bridge publishes it after a text, for every other display.
  watch.start(u"mosquitto_sub"_qs, broker.args() + QStringList{u"-t"_qs, u"vf3360/bench/status"_qs});
  QByteArray status;
  if (watch.waitForReadyRead(10000))  // the bridge is there
    QProcess::execute(u"mosquitto_pub"_qs, broker.args() + QStringList{u"-t"_qs, u"vf3360/bench/text"_qs, u"-m"_qs, u"本日は開館しております　髙"_qs});
  while (!status.contains("本日") && watch.waitForReadyRead(10000)) {
    while (watch.canReadLine()) status = watch.readLine().trimmed();
  }
  watch.kill();
  for (int i = 1; i < displays; ++i) {
    QProcess one;
    one.start(u"mosquitto_pub"_qs, broker.args() + QStringList{u"-r"_qs, u"-t"_qs, QStringLiteral("vf3360/d%1/status").arg(i, 3, 10, QChar(u'0')),
                                                               u"-m"_qs, QString::fromUtf8(status).replace(u"\"bench\""_qs, QStringLiteral("\"d%1\"").arg(i, 3, 10, QChar(u'0')))});
    one.waitForFinished();
  }
  Browser browser;
  if (!browser.start()) return std::fprintf(stderr, "bench_console: %s\n", qPrintable(browser.lastError())), 1;
  const QString page = QStringLiteral("http://127.0.0.1:%1/").arg(web);
  std::vector<double> listed, afterLoad, renderer, heap;
  for (int run = 0; run < runs; ++run) {
    browser.go(u"about:blank"_qs);
    QElapsedTimer t;
    t.start();
    browser.go(page);
    while (browser.script(u"return document.querySelectorAll('#displays [data-name]').length"_qs).toInt() < displays && t.elapsed() < 30000) {}
    listed.push_back(double(t.nsecsElapsed()) / 1e6);
    afterLoad.push_back(double(QDateTime::currentMSecsSinceEpoch()) - browser.script(u"return performance.timing.loadEventEnd"_qs).toDouble());
    QThread::msleep(2000);  // the faces drawn a while
    renderer.push_back(rendererMegabytes());
    heap.push_back(browser.script(u"return performance.memory.usedJSHeapSize"_qs).toDouble() / 1048576);
  }
  std::printf("%d displays, %d loads\n", displays, runs);
  summarise("page asked for -> every display listed", listed, "ms");
  summarise("page loaded (load event) -> every display listed", afterLoad, "ms");
  summarise("the page's renderer process (PSS)", renderer, "MB");
  summarise("JavaScript heap in use", heap, "MB");

  browser.click(u"#target-picked"_qs);
  browser.click(u"[data-pick='bench'] input"_qs);
  // When the page takes the click, by the clock the far end is read by.
  browser.script(u"document.getElementById('send').addEventListener('click', () => window.clickedAt = Date.now(), true)"_qs);
  std::vector<double> sent, sentAfterClick;
  for (int i = 0; i < sends; ++i) {
    const QString text = QStringLiteral("お知らせ %1").arg(i);
    const QByteArray message = joined(vf::buildMessage(text, 1).writes);
    browser.script(u"document.getElementById('text').value = ''; return true"_qs);
    browser.type(u"#text"_qs, text);
    while (browser.script(u"return document.getElementById('send').disabled"_qs).toBool()) {}
    line.readExactly(1 << 20, 300);  // the update commands of the last text, and the line's time
    QElapsedTimer t;
    t.start();
    browser.click(u"#send"_qs);
    QByteArray got;
    while (!got.contains(message) && t.elapsed() < 5000) got += line.readExactly(1 << 20, 1);
    const double lastByte = double(QDateTime::currentMSecsSinceEpoch());
    sent.push_back(got.contains(message) ? double(t.nsecsElapsed()) / 1e6 : 5000);
    sentAfterClick.push_back(got.contains(message) ? lastByte - browser.script(u"return window.clickedAt"_qs).toDouble() : 5000);
  }
  summarise("WebDriver's click -> last byte at the far end", sent, "ms");
  summarise("the page's click event -> last byte", sentAfterClick, "ms");
  bridge.terminate();
  bridge.waitForFinished();
  return 0;
}
