#include "bridge/bridge_options.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QMap>

#include <algorithm>

namespace vf {

namespace {

const QStringList kFileKeys = {QStringLiteral("name"),   QStringLiteral("group"),    QStringLiteral("device"),
                               QStringLiteral("port"),   QStringLiteral("usb"),      QStringLiteral("broker"),
                               QStringLiteral("username"), QStringLiteral("cafile")};

// key -> every value, in file order; or why the file cannot be read.
using FileValues = QMap<QString, QStringList>;

std::optional<FileValues> readSettingsFile(const QString &path, QString *why) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
    *why = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
    return std::nullopt;
  }
  FileValues values;
  int number = 0;
  while (!file.atEnd()) {
    const QString line = QString::fromUtf8(file.readLine()).trimmed();
    ++number;
    if (line.isEmpty() || line.startsWith(u'#') || line.startsWith(u';')) continue;
    const qsizetype equals = line.indexOf(u'=');
    const QString key = line.left(equals).trimmed().toLower();
    const auto fail = [&](const QString &what) {
      *why = QStringLiteral("%1:%2: %3").arg(path).arg(number).arg(what);
      return std::nullopt;
    };
    if (equals < 0) return fail(QStringLiteral("expected \"key = value\""));
    if (key == QLatin1String("password")) {
      return fail(QStringLiteral("the password is taken from the environment variable %1 only")
                      .arg(QLatin1String(kPasswordVariable)));
    }
    if (!kFileKeys.contains(key)) return fail(QStringLiteral("unknown key \"%1\"").arg(key));
    values[key] << line.mid(equals + 1).trimmed();
  }
  return values;
}

std::optional<bool> readYesNo(const QString &value) {
  const QString v = value.toLower();
  if (QStringList{"yes", "true", "on", "1"}.contains(v)) return true;
  if (QStringList{"no", "false", "off", "0"}.contains(v)) return false;
  return std::nullopt;
}

// HOST, HOST:PORT; an IPv6 address alone or as [ADDRESS]:PORT.
bool readHostPort(const QString &value, int defaultPort, BrokerSettings &broker) {
  QString host = value;
  QString port;
  if (value.startsWith(u'[')) {
    const qsizetype close = value.indexOf(u']');
    const QString rest = value.mid(close + 1);
    if (close < 0 || (!rest.isEmpty() && !rest.startsWith(u':'))) return false;
    host = value.mid(1, close - 1);
    port = rest.mid(1);
    if (rest == QLatin1String(":")) return false;
  } else if (value.count(u':') == 1) {
    host = value.section(u':', 0, 0);
    port = value.section(u':', 1);
    if (port.isEmpty()) return false;
  }
  bool ok = true;
  broker.host = host;
  broker.port = port.isEmpty() ? defaultPort : port.toInt(&ok);
  return ok && !host.isEmpty() && broker.port >= 1 && broker.port <= 65535;
}

// readHostPort's forms, or the same as mqtt://... or mqtts://... (TLS). Why
// it cannot be used, or empty.
QString readBroker(const QString &value, BrokerSettings &broker) {
  const auto refuse = [&value](const QString &why) { return QStringLiteral("--broker \"%1\": %2").arg(value, why); };
  QString rest = value;
  const qsizetype scheme = value.indexOf(QLatin1String("://"));
  if (scheme >= 0) {
    const QString name = value.left(scheme).toLower();
    if (name != QLatin1String("mqtt") && name != QLatin1String("mqtts")) {
      return refuse(QStringLiteral("mqtt:// or mqtts:// only (%1:// is not spoken here)").arg(name.left(20)));
    }
    if (name == QLatin1String("mqtt") && !broker.caFile.isEmpty()) {
      return refuse(QStringLiteral("mqtt:// is without TLS, but --cafile asks for TLS: use mqtts://"));
    }
    broker.tls = name == QLatin1String("mqtts");
    rest = value.mid(scheme + 3);
    if (rest.endsWith(u'/')) rest.chop(1);
    if (rest.contains(u'@')) {
      return refuse(QStringLiteral("no user name or password in the URL: --username, and %1 for the password")
                        .arg(QLatin1String(kPasswordVariable)));
    }
    if (rest.contains(u'/') || rest.contains(u'?')) return refuse(QStringLiteral("a broker's URL has no path"));
  }
  const bool tls = broker.tls || !broker.caFile.isEmpty();
  if (!readHostPort(rest, tls ? 8883 : 1883, broker)) {
    return refuse(QStringLiteral("HOST or HOST:PORT, or mqtt://HOST[:PORT] or mqtts://HOST[:PORT]"));
  }
  return {};
}

}  // namespace

bool isValidName(const QString &name) {
  if (name.isEmpty() || name.size() > 64) return false;
  return std::all_of(name.begin(), name.end(), [](QChar c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'-' || c == u'_';
  });
}

BridgeOptions readBridgeOptions(const QStringList &arguments, const QProcessEnvironment &environment) {
  BridgeOptions result;
  const auto fail = [&result](const QString &why) {
    result.error = why;
    return result;
  };

  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral("Drives a VF3360 display module through an MQTT broker."));
  parser.addHelpOption();
  parser.addVersionOption();
  const PortOptions portOptions;
  portOptions.addTo(parser);
  const QCommandLineOption broker(QStringLiteral("broker"),
                                  QStringLiteral("The broker (default localhost:1883): HOST[:PORT], mqtt://HOST[:PORT] "
                                                 "or mqtts://HOST[:PORT] (TLS; port 8883, also with --cafile)."),
                                  QStringLiteral("HOST[:PORT]|URL"));
  const QCommandLineOption username(QStringLiteral("username"),
                                    QStringLiteral("User name at the broker; the password is taken from %1.")
                                        .arg(QLatin1String(kPasswordVariable)),
                                    QStringLiteral("NAME"));
  const QCommandLineOption cafile(QStringLiteral("cafile"), QStringLiteral("TLS: check the broker against this CA."),
                                  QStringLiteral("FILE"));
  const QCommandLineOption name(QStringLiteral("name"),
                                QStringLiteral("The display's name in its topics: letters, digits, - and _."),
                                QStringLiteral("NAME"));
  const QCommandLineOption group(QStringLiteral("group"), QStringLiteral("A group the display belongs to (repeatable)."),
                                 QStringLiteral("G"));
  const QCommandLineOption config(QStringLiteral("config"),
                                  QStringLiteral("Take the same keys from this file; the command line wins."),
                                  QStringLiteral("FILE"));
  const QCommandLineOption instance(QStringLiteral("instance"),
                                    QStringLiteral("Refuse to start unless the display's name is NAME (the service "
                                                   "vf3360-bridge@NAME passes its own)."),
                                    QStringLiteral("NAME"));
  const QCommandLineOption check(QStringLiteral("check"),
                                 QStringLiteral("Show the settings as they would be used, and end."));
  parser.addOptions({broker, username, cafile, name, group, config, instance, check});
  if (!parser.parse(arguments)) return fail(parser.errorText());
  if (parser.isSet(QStringLiteral("help"))) {
    result.help = true;
    result.helpText = parser.helpText();
    return result;
  }
  if (parser.isSet(QStringLiteral("version"))) {
    result.help = true;
    result.helpText = QStringLiteral("%1 %2\n").arg(QCoreApplication::applicationName(), QCoreApplication::applicationVersion());
    return result;
  }
  if (!parser.positionalArguments().isEmpty()) {
    return fail(QStringLiteral("unexpected \"%1\"").arg(parser.positionalArguments().constFirst()));
  }

  FileValues file;
  if (parser.isSet(config)) {
    QString why;
    const std::optional<FileValues> read = readSettingsFile(parser.value(config), &why);
    if (!read) return fail(why);
    file = *read;
  }
  // The command line's value, else the file's last one.
  const auto value = [&](const QCommandLineOption &option) -> std::optional<QString> {
    if (parser.isSet(option)) return parser.value(option);
    const QStringList given = file.value(option.names().constFirst());
    if (given.isEmpty()) return std::nullopt;
    return given.constLast();
  };

  BridgeSettings settings;
  settings.name = value(name).value_or(QString());
  if (settings.name.isEmpty()) return fail(QStringLiteral("no --name given"));
  if (!isValidName(settings.name) || settings.name == QLatin1String("group")) {
    return fail(QStringLiteral("--name \"%1\": letters, digits, - and _ only (and not \"group\")").arg(settings.name));
  }
  // The unit's instance names the display's settings file: a file copied
  // from another display and not edited would drive the other's topics.
  if (parser.isSet(instance) && parser.value(instance) != settings.name) {
    return fail(QStringLiteral("the settings name the display \"%1\", but this is the service of \"%2\": "
                               "the name in its settings file must be its own")
                    .arg(settings.name, parser.value(instance)));
  }
  settings.groups = parser.isSet(group) ? parser.values(group) : file.value(QStringLiteral("group"));
  settings.groups.removeDuplicates();
  for (const QString &g : std::as_const(settings.groups)) {
    if (!isValidName(g)) return fail(QStringLiteral("--group \"%1\": letters, digits, - and _ only").arg(g));
  }

  PortOptionValues port = portOptions.valuesFrom(parser);
  if (!port.any()) {
    port.device = value(portOptions.device);
    port.port = value(portOptions.port);
    if (const std::optional<QString> usb = value(portOptions.usb)) {
      const std::optional<bool> yes = readYesNo(*usb);
      if (!yes) return fail(QStringLiteral("usb = \"%1\": yes or no").arg(*usb));
      port.usb = *yes;
    }
  }
  if (!port.device && !port.port) return fail(QStringLiteral("no module given: give --device PATH or --port N [--usb]"));
  QString why;
  const std::optional<ModulePort> modulePort = readModulePort(port, &why);
  if (!modulePort) return fail(why);
  settings.port = *modulePort;

  settings.broker.caFile = value(cafile).value_or(QString());
  if (!settings.broker.caFile.isEmpty()) {
    if (const QString problem = caFileProblem(settings.broker.caFile); !problem.isEmpty()) {
      return fail(QStringLiteral("--cafile %1: %2").arg(settings.broker.caFile, problem));
    }
  }
  if (const QString why = readBroker(value(broker).value_or(QStringLiteral("localhost")), settings.broker); !why.isEmpty()) {
    return fail(why);
  }
  settings.broker.username = value(username).value_or(QString());
  if (environment.contains(QLatin1String(kPasswordVariable))) {
    if (settings.broker.username.isEmpty()) {
      return fail(QStringLiteral("%1 is set but no --username is given").arg(QLatin1String(kPasswordVariable)));
    }
    settings.broker.password = environment.value(QLatin1String(kPasswordVariable)).toUtf8();
  }
  result.settings = settings;
  result.check = parser.isSet(check);
  return result;
}

QString describeSettings(const BridgeSettings &settings) {
  const BrokerSettings &broker = settings.broker;
  QStringList lines{
      QStringLiteral("name: %1").arg(settings.name),
      QStringLiteral("groups: %1").arg(settings.groups.isEmpty() ? QStringLiteral("(none)") : settings.groups.join(u' ')),
      QStringLiteral("module: %1").arg(settings.port.deviceName()),
      QStringLiteral("broker: %1:%2%3").arg(broker.host).arg(broker.port).arg(broker.caFile.isEmpty() ? (broker.tls ? QStringLiteral(" (TLS, the system's CAs)") : QString()) : QStringLiteral(" (TLS, CA %1)").arg(broker.caFile)),
      QStringLiteral("username: %1").arg(broker.username.isEmpty() ? QStringLiteral("(none)") : broker.username),
      QStringLiteral("password: %1").arg(broker.password.isNull() ? QStringLiteral("(none)") : QStringLiteral("from %1").arg(QLatin1String(kPasswordVariable))),
  };
  return lines.join(u'\n') + u'\n';
}

}  // namespace vf
