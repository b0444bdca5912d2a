// A fleet on one machine: one mosquitto broker, BRIDGES vf3360-bridge
// processes, each with its module on a pseudo-terminal of its own read
// through the module-side decoder. TEXTS texts are published one after
// another to the group they all belong to (QoS 1, not retained, a new text
// every PAUSE ms), and for each the time from the publish call to the last
// byte of the message at every far end is taken. Then memory and CPU time of
// every bridge: over the texts, and over some seconds of auto update alone.
//
// With LISTENERS, that many more clients subscribe to the group's text as
// the bridges do (QoS 1, each on its own connection, all in this process):
// stand-ins for displays beyond the 16, to see how far one broker carries.
// Their times are taken from the publish call to the message read by the
// last of them, and the broker's memory is read with them connected.
//
// With --flood, the lines are read at 1,920 bytes a second (as a 19,200 baud
// line takes them) and FLOOD texts are published to the group within one
// second: how long after the last publish every far end has shown the last
// text, whether every bridge told of every text (text-sent, or a count of
// superseded ones), and the bridges' peak memory.
//
//   build/bench/bench_fleet [BRIDGES=16] [TEXTS=60] [PAUSE=200] [LISTENERS=0]
//   build/bench/bench_fleet --flood [BRIDGES=16] [FLOOD=2000]

#include "spread.h"
#include "protocol/module_decoder.h"
#include "protocol/text_normalisation.h"
#include "sim/pseudo_terminal.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>

#include <mosquitto.h>
#include <poll.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double millisBetween(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double, std::milli>(b - a).count();
}

void summarise(const char *what, std::vector<double> values, const char *unit) {
  const bench::Spread s = bench::spreadOf(std::move(values));
  std::printf("%s (%zu): median %.2f %s, p99 %.2f %s, max %.2f %s\n", what, s.count, s.median, unit, s.at(0.99), unit,
              s.max, unit);
}

// Resident memory now and at its peak; its proportional share (the shared
// libraries' pages divided among the processes that map them) and the pages
// of its own; in MiB. CPU seconds so far.
struct Usage {
  double rssMiB = 0, peakMiB = 0, pssMiB = 0, privateMiB = 0, cpuSeconds = 0;
};

// Every "Name: value kB" line of a file of /proc, the value in MiB.
template <typename Take>
void forEachKiBLine(const QString &path, Take take) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return;
  for (const QByteArray &line : file.readAll().split('\n')) {
    const QList<QByteArray> words = line.simplified().split(' ');
    if (words.size() >= 2) take(words[0], words[1].toDouble() / 1024);
  }
}

Usage usageOf(qint64 pid) {
  Usage usage;
  forEachKiBLine(QStringLiteral("/proc/%1/status").arg(pid), [&](const QByteArray &name, double mib) {
    if (name == "VmRSS:") usage.rssMiB = mib;
    if (name == "VmHWM:") usage.peakMiB = mib;
  });
  forEachKiBLine(QStringLiteral("/proc/%1/smaps_rollup").arg(pid), [&](const QByteArray &name, double mib) {
    if (name == "Pss:") usage.pssMiB = mib;
    if (name == "Private_Clean:" || name == "Private_Dirty:") usage.privateMiB += mib;
  });
  QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
  if (stat.open(QIODevice::ReadOnly)) {
    const QByteArray all = stat.readAll();
    const QList<QByteArray> fields = all.mid(all.lastIndexOf(')') + 2).split(' ');
    // utime and stime are fields 14 and 15 of the line, 12 and 13 after the name.
    if (fields.size() > 13) usage.cpuSeconds = (fields[11].toDouble() + fields[12].toDouble()) / double(sysconf(_SC_CLK_TCK));
  }
  return usage;
}

struct Display {
  std::unique_ptr<vf::PseudoTerminal> line = std::make_unique<vf::PseudoTerminal>();
  vf::ModuleDecoder decoder;
  std::unique_ptr<QProcess> bridge = std::make_unique<QProcess>();
  Clock::time_point shown;  // when the message's last byte arrived
  bool done = false;
};

// Reads every far end for up to ms; true once each has shown a message
// starting with `expected` as the module reads it (empty: just reads).
bool readFarEnds(std::vector<Display> &displays, const QString &text, int ms, mosquitto *client) {
  const QString expected = vf::normaliseForModule(text);
  const Clock::time_point until = Clock::now() + std::chrono::milliseconds(ms);
  std::vector<pollfd> fds;
  for (const Display &d : displays) fds.push_back({d.line->farEnd(), POLLIN, 0});
  while (Clock::now() < until) {
    mosquitto_loop(client, 0, 1);  // the broker's acknowledgements
    const int left = int(std::max<double>(0, millisBetween(Clock::now(), until)));
    if (::poll(fds.data(), fds.size(), std::min(left, 5)) <= 0) continue;
    const Clock::time_point now = Clock::now();
    for (size_t i = 0; i < displays.size(); ++i) {
      if (!(fds[i].revents & POLLIN)) continue;
      char buffer[8192];
      const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
      if (n <= 0) continue;
      for (const vf::ModuleEvent &e : displays[i].decoder.feed(QByteArrayView(buffer, n))) {
        const auto *message = e.as<vf::decoded::Message>();
        if (message && !expected.isEmpty() && message->text.startsWith(expected) && !displays[i].done) {
          displays[i].done = true;
          displays[i].shown = now;
        }
      }
    }
    if (!expected.isEmpty() && std::all_of(displays.begin(), displays.end(), [](const Display &d) { return d.done; })) {
      return true;
    }
  }
  return expected.isEmpty();
}

// Clients that only take the group's text, read in this process.
struct Listeners {
  std::vector<mosquitto *> clients;
  std::vector<pollfd> fds;
  int received = 0;

  static void onMessage(mosquitto *, void *self, const mosquitto_message *) { ++static_cast<Listeners *>(self)->received; }

  bool connect(int count, quint16 port, const char *topic) {
    for (int i = 0; i < count; ++i) {
      mosquitto *client = mosquitto_new(nullptr, true, this);
      mosquitto_message_callback_set(client, &Listeners::onMessage);
      if (mosquitto_connect(client, "127.0.0.1", port, 600) != MOSQ_ERR_SUCCESS) return false;
      mosquitto_subscribe(client, nullptr, topic, 1);
      clients.push_back(client);
      fds.push_back({mosquitto_socket(client), POLLIN, 0});
    }
    service(2000);
    return true;
  }
  // Reads and acknowledges for up to ms, or until `until` messages have come.
  void service(int ms, int until = -1) {
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(ms);
    while (Clock::now() < end && (until < 0 || received < until)) {
      for (size_t i = 0; i < clients.size(); ++i) fds[i].events = POLLIN | (mosquitto_want_write(clients[i]) ? POLLOUT : 0);
      if (::poll(fds.data(), fds.size(), 5) <= 0) continue;
      for (size_t i = 0; i < clients.size(); ++i) {
        if (fds[i].revents & POLLIN) mosquitto_loop_read(clients[i], 1);
        if (mosquitto_want_write(clients[i])) mosquitto_loop_write(clients[i], 1);
      }
    }
  }
  ~Listeners() {
    for (mosquitto *client : clients) mosquitto_destroy(client);
  }
};

// The events of every bridge, counted by the name in their topic.
struct EventCounter {
  std::map<std::string, int> told;  // texts told as sent or superseded
  std::map<std::string, int> events;  // events that told them

  static void onMessage(mosquitto *, void *self, const mosquitto_message *message) {
    const QJsonObject event =
        QJsonDocument::fromJson(QByteArray(static_cast<const char *>(message->payload), message->payloadlen)).object();
    const std::string name = QByteArray(message->topic).split('/').value(1).toStdString();
    const QString kind = event[u"event"].toString();
    if (kind == u"text-sent" || kind == u"text-superseded") static_cast<EventCounter *>(self)->events[name] += 1;
    if (kind == u"text-sent") static_cast<EventCounter *>(self)->told[name] += 1;
    if (kind == u"text-superseded") static_cast<EventCounter *>(self)->told[name] += event[u"count"].toInt();
  }
};

// FLOOD texts within a second to the group, the far ends read as a line at
// 19,200 baud takes bytes.
int runFlood(std::vector<Display> &displays, mosquitto *client, quint16 port, int flood) {
  EventCounter counter;
  mosquitto *events = mosquitto_new(nullptr, true, &counter);
  mosquitto_message_callback_set(events, &EventCounter::onMessage);
  if (mosquitto_connect(events, "127.0.0.1", port, 60) != MOSQ_ERR_SUCCESS) return 1;
  mosquitto_subscribe(events, nullptr, "vf3360/+/event", 0);
  // The events of the texts before the flood are not counted.
  for (int i = 0; i < 200; ++i) mosquitto_loop(events, 5, 1);
  counter.told.clear();
  counter.events.clear();

  const QByteArray topic = "vf3360/group/fleet/text";
  const QString last = QStringLiteral("洪水%1").arg(flood - 1);
  const QString expected = vf::normaliseForModule(last);
  std::vector<pollfd> fds;
  std::vector<qint64> taken(displays.size(), 0);
  std::vector<QString> shown(displays.size());
  for (const Display &d : displays) fds.push_back({d.line->farEnd(), POLLIN, 0});
  for (Display &d : displays) d.done = false;
  std::printf("%zu bridges, %d texts to their group within 1 s, lines read at 1,920 bytes/s\n", displays.size(), flood);

  const Clock::time_point start = Clock::now();
  Clock::time_point lastPublished = start;
  int published = 0;
  const Clock::time_point until = start + std::chrono::seconds(30);
  while (Clock::now() < until) {
    // The texts, evenly over the first second.
    const double sinceStart = millisBetween(start, Clock::now());
    while (published < flood && sinceStart >= published * 1000.0 / flood) {
      const QByteArray payload = QStringLiteral("洪水%1").arg(published).toUtf8();
      mosquitto_publish(client, nullptr, topic.constData(), int(payload.size()), payload.constData(), 1, false);
      if (++published == flood) lastPublished = Clock::now();
    }
    mosquitto_loop(client, 0, 1);
    mosquitto_loop(events, 0, 1);
    // Each far end takes what the line would have carried by now.
    const qint64 allowed = qint64(sinceStart * 1.92);
    ::poll(fds.data(), fds.size(), 1);
    const Clock::time_point now = Clock::now();
    for (size_t i = 0; i < displays.size(); ++i) {
      if (!(fds[i].revents & POLLIN) || taken[i] >= allowed) continue;
      char buffer[8192];
      const ssize_t n = ::read(fds[i].fd, buffer, size_t(std::min<qint64>(sizeof buffer, allowed - taken[i])));
      if (n <= 0) continue;
      taken[i] += n;
      for (const vf::ModuleEvent &e : displays[i].decoder.feed(QByteArrayView(buffer, n))) {
        const auto *message = e.as<vf::decoded::Message>();
        if (!message) continue;
        shown[i] = message->text;
        if (published == flood && message->text.startsWith(expected) && !displays[i].done) {
          displays[i].done = true;
          displays[i].shown = now;
        }
      }
    }
    const bool allShown = std::all_of(displays.begin(), displays.end(), [](const Display &d) { return d.done; });
    const bool allTold = counter.told.size() == displays.size() &&
                         std::all_of(counter.told.begin(), counter.told.end(), [&](const auto &t) { return t.second >= flood; });
    if (published == flood && allShown && allTold) break;
  }
  // A little longer: events told late, or more than once, would show here.
  for (int i = 0; i < 200; ++i) mosquitto_loop(events, 1, 1);

  std::vector<double> after;
  int notShown = 0;
  for (const Display &d : displays) {
    if (d.done) after.push_back(millisBetween(lastPublished, d.shown));
    else ++notShown;
  }
  std::printf("last text published %.0f ms after the first\n", millisBetween(start, lastPublished));
  if (!after.empty()) summarise("last publish to the last text shown, every far end", after, "ms");
  if (notShown) std::printf("%d far ends did not show the last text within 30 s\n", notShown);
  int exact = 0;
  for (size_t i = 0; i < displays.size(); ++i) {
    const int told = counter.told[QStringLiteral("fleet-%1").arg(i).toStdString()];
    if (told == flood) ++exact;
    else std::printf("fleet-%zu told of %d texts, not %d\n", i, told, flood);
  }
  std::printf("%d of %zu bridges told of all %d texts (sent or superseded)\n", exact, displays.size(), flood);
  std::vector<double> eventCounts;
  for (const auto &[name, count] : counter.events) eventCounts.push_back(count);
  if (!eventCounts.empty()) summarise("text-sent and text-superseded events per bridge", eventCounts, "");
  std::vector<double> peak;
  for (const Display &d : displays) peak.push_back(usageOf(d.bridge->processId()).peakMiB);
  summarise("peak resident memory per bridge", peak, "MiB");
  mosquitto_disconnect(events);
  mosquitto_destroy(events);
  return 0;
}

}  // namespace

int main(int argc, char **argv) {
  QCoreApplication app(argc, argv);
  QStringList args = QCoreApplication::arguments().mid(1);
  const bool flood = args.removeAll(QStringLiteral("--flood")) > 0;
  const auto number = [&](int i, int fallback) { return i < args.size() ? args[i].toInt() : fallback; };
  const int bridges = number(0, 16);
  const int texts = number(1, flood ? 2000 : 60);
  const int pauseMs = number(2, 200);
  const int listenerCount = number(3, 0);
  // One descriptor a connection, here and in the broker (which inherits the limit).
  rlimit files{};
  getrlimit(RLIMIT_NOFILE, &files);
  files.rlim_cur = files.rlim_max;
  setrlimit(RLIMIT_NOFILE, &files);

  // The broker.
  QTemporaryDir dir;
  QTcpServer probe;
  probe.listen(QHostAddress::LocalHost);
  const quint16 port = probe.serverPort();
  probe.close();
  QFile conf(dir.filePath(QStringLiteral("broker.conf")));
  if (!conf.open(QIODevice::WriteOnly)) return 1;
  conf.write(QStringLiteral("listener %1 127.0.0.1\nallow_anonymous true\n").arg(port).toUtf8());
  conf.close();
  QProcess broker;
  // Its log is not read: a pipe left full would stop the broker.
  broker.setStandardOutputFile(QProcess::nullDevice());
  broker.setStandardErrorFile(QProcess::nullDevice());
  broker.start(QStringLiteral("mosquitto"), {QStringLiteral("-c"), conf.fileName()});

  // The publisher, once the broker listens.
  mosquitto_lib_init();
  mosquitto *client = mosquitto_new(nullptr, true, nullptr);
  bool connected = false;
  for (int attempt = 0; attempt < 50 && !connected; ++attempt) {
    QThread::msleep(100);
    connected = mosquitto_connect(client, "127.0.0.1", port, 30) == MOSQ_ERR_SUCCESS;
  }
  if (!connected) {
    std::fprintf(stderr, "cannot connect to the broker\n");
    return 1;
  }

  // The bridges, each on its own line, keeping their state in the folder.
  std::vector<Display> displays(bridges);
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("XDG_STATE_HOME"), dir.path());
  for (int i = 0; i < bridges; ++i) {
    displays[i].bridge->setProcessEnvironment(environment);
    displays[i].bridge->setStandardErrorFile(QProcess::nullDevice());
    displays[i].bridge->start(QStringLiteral(VF3360_BRIDGE_PATH),
                              {QStringLiteral("--name"), QStringLiteral("fleet-%1").arg(i), QStringLiteral("--group"),
                               QStringLiteral("fleet"), QStringLiteral("--device"), displays[i].line->path(),
                               QStringLiteral("--broker"), QStringLiteral("127.0.0.1:%1").arg(port)});
  }
  // Ready once a text reaches every far end.
  const QByteArray topic = "vf3360/group/fleet/text";
  bool ready = false;
  for (int attempt = 0; attempt < 20 && !ready; ++attempt) {
    const QByteArray hello = QStringLiteral("準備 %1").arg(attempt).toUtf8();
    mosquitto_publish(client, nullptr, topic.constData(), int(hello.size()), hello.constData(), 1, false);
    ready = readFarEnds(displays, QStringLiteral("準備 %1").arg(attempt), 1000, client);
  }
  if (!ready) {
    std::fprintf(stderr, "not every bridge took the first text\n");
    return 1;
  }
  // The first text of the run does not wait for the line time of this one.
  readFarEnds(displays, {}, pauseMs, client);
  if (flood) {
    const int status = runFlood(displays, client, port, texts);
    for (Display &d : displays) d.bridge->terminate();
    for (Display &d : displays) d.bridge->waitForFinished(10000);
    broker.terminate();
    broker.waitForFinished(10000);
    return status;
  }
  std::printf("%d bridges, %d texts to their group, one every %d ms\n", bridges, texts, pauseMs);

  std::vector<Usage> before;
  for (const Display &d : displays) before.push_back(usageOf(d.bridge->processId()));
  const Clock::time_point runStart = Clock::now();
  std::vector<double> each, slowest;
  int missed = 0;
  for (int t = 0; t < texts; ++t) {
    for (Display &d : displays) d.done = false;
    const QString text = QStringLiteral("第%1報　本日の運行は平常どおりです　Platform %2").arg(t).arg(t % 9 + 1);
    const QByteArray payload = text.toUtf8();
    const Clock::time_point published = Clock::now();
    mosquitto_publish(client, nullptr, topic.constData(), int(payload.size()), payload.constData(), 1, false);
    if (!readFarEnds(displays, text, 5000, client)) ++missed;
    double worst = 0;
    for (const Display &d : displays) {
      if (!d.done) continue;
      each.push_back(millisBetween(published, d.shown));
      worst = std::max(worst, each.back());
    }
    slowest.push_back(worst);
    readFarEnds(displays, {}, pauseMs, client);
  }
  const double runSeconds = millisBetween(runStart, Clock::now()) / 1000;
  std::vector<Usage> afterTexts;
  for (const Display &d : displays) afterTexts.push_back(usageOf(d.bridge->processId()));
  // Auto update alone: every bridge keeps sending the update command.
  const int quietSeconds = 5;
  readFarEnds(displays, {}, quietSeconds * 1000, client);
  std::vector<Usage> afterQuiet;
  for (const Display &d : displays) afterQuiet.push_back(usageOf(d.bridge->processId()));

  summarise("publish to the last byte, every far end", each, "ms");
  summarise("publish to the last byte of the slowest far end, each text", slowest, "ms");
  if (missed) std::printf("%d texts did not reach every far end within 5 s\n", missed);
  std::vector<double> rss, peak, pss, own, cpuTexts, cpuQuiet;
  for (int i = 0; i < bridges; ++i) {
    rss.push_back(afterQuiet[i].rssMiB);
    peak.push_back(afterQuiet[i].peakMiB);
    pss.push_back(afterQuiet[i].pssMiB);
    own.push_back(afterQuiet[i].privateMiB);
    cpuTexts.push_back(100 * (afterTexts[i].cpuSeconds - before[i].cpuSeconds) / runSeconds);
    cpuQuiet.push_back(100 * (afterQuiet[i].cpuSeconds - afterTexts[i].cpuSeconds) / quietSeconds);
  }
  summarise("resident memory per bridge", rss, "MiB");
  summarise("peak resident memory per bridge", peak, "MiB");
  summarise("proportional share of memory per bridge", pss, "MiB");
  summarise("memory of its own per bridge", own, "MiB");
  const Usage brokerUsage = usageOf(broker.processId());
  std::printf("broker: resident %.2f MiB, CPU %.2f s over the run\n", brokerUsage.rssMiB, brokerUsage.cpuSeconds);
  summarise("CPU per bridge while texts came", cpuTexts, "% of a core");
  summarise("CPU per bridge with auto update alone", cpuQuiet, "% of a core");

  if (listenerCount > 0) {
    Listeners listeners;
    if (!listeners.connect(listenerCount, port, topic.constData())) {
      std::fprintf(stderr, "could not connect %d listeners\n", listenerCount);
      return 1;
    }
    const Usage withListeners = usageOf(broker.processId());
    std::vector<double> lastListener;
    int delivered = 0;
    for (int t = 0; t < texts; ++t) {
      const QByteArray payload = QStringLiteral("第%1報　%2 displays").arg(t).arg(listenerCount).toUtf8();
      listeners.received = 0;
      const Clock::time_point published = Clock::now();
      mosquitto_publish(client, nullptr, topic.constData(), int(payload.size()), payload.constData(), 1, false);
      listeners.service(10000, listenerCount);
      if (listeners.received == listenerCount) lastListener.push_back(millisBetween(published, Clock::now()));
      delivered += listeners.received + bridges;
      readFarEnds(displays, {}, pauseMs, client);
    }
    std::printf("with %d listeners more:\n", listenerCount);
    if (!lastListener.empty()) summarise("publish to the message read by the last listener", lastListener, "ms");
    if (int(lastListener.size()) < texts) std::printf("%d texts missed a listener\n", texts - int(lastListener.size()));
    std::printf("broker: resident %.2f MiB with the listeners connected\n", withListeners.rssMiB);
    // The broker's CPU time for each message it delivered (with its
    // acknowledgement, and the bridges' status and event).
    const double brokerSeconds = usageOf(broker.processId()).cpuSeconds - withListeners.cpuSeconds;
    std::printf("broker: %.1f µs of CPU a delivered message (%d delivered, %.2f s)\n", 1e6 * brokerSeconds / delivered,
                delivered, brokerSeconds);
  }

  for (Display &d : displays) d.bridge->terminate();
  for (Display &d : displays) d.bridge->waitForFinished(10000);
  mosquitto_disconnect(client);
  mosquitto_destroy(client);
  mosquitto_lib_cleanup();
  broker.terminate();
  broker.waitForFinished(10000);
  return 0;
}
