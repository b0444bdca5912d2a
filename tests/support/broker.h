#pragma once

// A real mosquitto of a test's own on free ports of 127.0.0.1: anyone on
// one port, or a site set up from the files the project ships.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <pwd.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <csignal>

#include <memory>
#include <vector>

// A program the test starts ends with the test, also when the test is killed:
// a bridge left behind would open the next test's pseudo-terminal of its number.
inline void endsWithTest(QProcess &process) {
  process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
}

// Keeps its retained messages and sessions across a restart, or forgets them.
struct Broker {
  QTemporaryDir dir;
  quint16 port = 0;
  QProcess process;
  QString site;  // listeners and access as a site sets them up (%1: the port); by default anyone on `port`

  static QList<quint16> freePorts(int count) {  // held until all are found: each a different one
    std::vector<std::unique_ptr<QTcpServer>> probes;
    QList<quint16> ports;
    for (int i = 0; i < count; ++i) {
      auto &probe = probes.emplace_back(std::make_unique<QTcpServer>());
      ports << (probe->listen(QHostAddress::LocalHost) ? probe->serverPort() : 0);
    }
    return ports;
  }
  bool start(bool keep = true) {
    if (port == 0) port = freePorts(1)[0];
    QFile conf(dir.filePath(u"broker.conf"_qs));
    if (!conf.open(QIODevice::WriteOnly)) return false;
    // Started as root, mosquitto becomes the user named here (by default
    // "mosquitto", who could not write its database into the folder).
    conf.write(QStringLiteral("user %2\npersistence %3\npersistence_location %4/\nlog_dest file %4/broker.log\nlog_type all\n%1\n")
                   .arg(site.isEmpty() ? u"listener %1 127.0.0.1\nallow_anonymous true"_qs.arg(port) : site.arg(port))
                   .arg(QString::fromLocal8Bit(getpwuid(getuid())->pw_name), keep ? u"true"_qs : u"false"_qs, dir.path())
                   .toUtf8());
    conf.close();
    // Its log is not read: a pipe left full would stop the broker.
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    endsWithTest(process);
    process.start(u"mosquitto"_qs, {u"-c"_qs, conf.fileName()});
    return process.waitForStarted() && QTest::qWaitFor([&] {
      QTcpSocket socket;
      socket.connectToHost(QHostAddress::LocalHost, port);
      return socket.waitForConnected(1000);
    }, 10000);
  }
  void stop() {
    process.terminate();
    process.waitForFinished(10000);
  }
  ~Broker() { stop(); }
  QStringList args() const { return {u"-h"_qs, u"127.0.0.1"_qs, u"-p"_qs, QString::number(port), u"-q"_qs, u"1"_qs}; }
};

// The broker as packaging/mosquitto sets up a site: everyone logs in, the
// shipped ACL, TLS with a CA of the test's own (ca.crt; the broker's
// certificate good.crt names 127.0.0.1), and the console's WebSockets
// listener serving the page from `console`. Each user's password is
// "pw-" + the user's name.
struct Site {
  Broker broker;  // its port: plain MQTT
  QList<quint16> ports = Broker::freePorts(4);  // TLS, WebSockets, WebSockets with TLS; the last plain MQTT
  QString path(const QString &name) const { return broker.dir.filePath(name); }
  bool openssl(const QString &args) const {
    QProcess openssl;
    openssl.setProcessChannelMode(QProcess::MergedChannels);
    openssl.start(u"openssl"_qs, QProcess::splitCommand(args.arg(broker.dir.path() + u'/')));
    return openssl.waitForFinished() && openssl.exitCode() == 0;
  }
  // A certificate signed by `ca` for the subjectAltName, valid for `days`.
  bool certificate(const QString &name, const QString &ca, const QString &altName, int days) const {
    const QString key = u" -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout %1"_qs + name + u".key"_qs;
    if (ca.isEmpty()) return openssl(u"req -x509"_qs + key + u" -out %1"_qs + name + u".crt -subj /CN="_qs + name);
    return openssl(u"req"_qs + key + u" -out %1"_qs + name + u".csr -subj /CN=x -addext subjectAltName="_qs + altName) &&
           openssl(u"x509 -req -in %1"_qs + name + u".csr -CA %1"_qs + ca + u".crt -CAkey %1"_qs + ca +
                   u".key -CAcreateserial -copy_extensions copy -days "_qs + QString::number(days) + u" -out %1"_qs + name + u".crt"_qs);
  }
  bool start(const QStringList &users, const QString &console, const QString &moreAcl = {}, const QString &moreListeners = {}) {
    const QString dir = broker.dir.path() + u'/';
    if ((!QFile::exists(path(u"ca.crt"_qs)) && !certificate(u"ca"_qs, {}, {}, 0)) || !certificate(u"good"_qs, u"ca"_qs, u"IP:127.0.0.1"_qs, 2))
      return false;
    for (const QString &who : users) {
      if (QProcess::execute(u"mosquitto_passwd"_qs, (who == users.first() ? QStringList{u"-c"_qs} : QStringList{})
                                                       << u"-b"_qs << dir + u"vf3360.passwd"_qs << who << u"pw-"_qs + who) != 0)
        return false;
    }
    QFile conf(QStringLiteral(VF_SOURCE_DIR "/packaging/mosquitto/vf3360.conf")), acl(QStringLiteral(VF_SOURCE_DIR "/packaging/mosquitto/vf3360.acl"));
    QFile siteAcl(dir + u"vf3360.acl"_qs);
    if (!conf.open(QIODevice::ReadOnly) || !acl.open(QIODevice::ReadOnly) || !siteAcl.open(QIODevice::WriteOnly) ||
        siteAcl.write(acl.readAll() + u"\n"_qs.toUtf8() + moreAcl.toUtf8()) < 0)
      return false;
    siteAcl.close();
    broker.site = QString::fromUtf8(conf.readAll())
                      .replace(u"listener 1883 "_qs, u"listener %1 "_qs)
                      .replace(u"\nlistener 8883\n"_qs, QStringLiteral("\nlistener %1 127.0.0.1\n").arg(ports[0]))
                      .replace(u"listener 8080 "_qs, QStringLiteral("listener %1 ").arg(ports[1]))
                      .replace(u"\nlistener 8443\n"_qs, QStringLiteral("\nlistener %1 127.0.0.1\n").arg(ports[2]))
                      .replace(u"/usr/local/share/vf3360/console"_qs, console)
                      .replace(u"/etc/mosquitto/certs/vf3360-broker"_qs, dir + u"good"_qs)
                      .replace(u"/etc/mosquitto/"_qs, dir) + moreListeners;
    broker.port = ports[3];
    return broker.start(false);
  }
};
