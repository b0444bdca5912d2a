#include "about/system_info.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QSerialPortInfo>
#include <QSysInfo>
#include <QVBoxLayout>

#include <algorithm>

#ifdef Q_OS_UNIX
#include <grp.h>
#endif

namespace vf {
namespace {

// Two names of one file: the same name, or links to the same device.
bool sameFile(const QString &a, const QString &b) {
  if (a.isEmpty() || b.isEmpty()) return false;
  if (a == b) return true;
  const QString canonical = QFileInfo(a).canonicalFilePath();
  return !canonical.isEmpty() && canonical == QFileInfo(b).canonicalFilePath();
}

// Who holds the device: the processes whose open files include it, as far as
// this user may look (/proc/PID/fd).
QString useOf(const QString &device, const QString &ownDevice) {
  if (sameFile(ownDevice, device)) return QStringLiteral("このプログラムが使用中");
  const QString target = QFileInfo(device).canonicalFilePath();
  if (target.isEmpty()) return QStringLiteral("デバイスがありません");
#ifdef Q_OS_LINUX
  QStringList holders;
  for (const QString &pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
    bool number = false;
    pid.toInt(&number);
    if (!number) continue;
    const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
    for (const QFileInfo &fd : fds.entryInfoList(QDir::Files | QDir::System | QDir::NoDotAndDotDot)) {
      if (fd.symLinkTarget() != target) continue;
      QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
      const QString name = comm.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(comm.readAll()).trimmed() : QString();
      holders << QStringLiteral("%1 (PID %2)").arg(name, pid);
      break;
    }
  }
  if (!holders.isEmpty()) return QStringLiteral("使用中: ") + holders.join(QStringLiteral(", "));
#endif
  return QStringLiteral("空き");
}

bool userInDialout(const UserIds &user) {
#ifdef Q_OS_UNIX
  const group *dialout = ::getgrnam("dialout");
  return dialout && std::find(user.groups.begin(), user.groups.end(), dialout->gr_gid) != user.groups.end();
#else
  Q_UNUSED(user);
  return true;
#endif
}

// The type and permission bits as ls shows them, and the bits in octal as
// chmod takes them: "crw-rw---- (660)".
QString modeText(unsigned mode) {
  QString text = (mode & 0170000) == 0020000 ? QStringLiteral("c") : QStringLiteral("-");
  for (int bit = 0; bit < 9; ++bit) text += mode & (0400u >> bit) ? QChar(u"rwxrwxrwx"[bit]) : QChar(u'-');
  return text + QStringLiteral(" (%1)").arg(mode & 0777, 3, 8, QChar(u'0'));
}

QString idName(const QString &name, unsigned id) { return name.isEmpty() ? QString::number(id) : shownText(name); }

// Whether this user may open the device and, where not, the one thing that would help.
QString openingText(const SerialPortFacts &port, const QString &user) {
  if (port.mayOpen) return QStringLiteral("開けます");
  if (!port.file.exists) return QStringLiteral("開けません — デバイスがありません（接続とデバイス名を確かめてください）");
  if (dialoutRemedyApplies(port.file))
    return QStringLiteral("開けません — dialout グループに入ってからログインし直すと開けます: sudo usermod -aG dialout %1")
        .arg(shownText(user));
  return QStringLiteral("開けません — dialout グループに入っても開けません。デバイスの所有者（%1）か管理者が、"
                        "このユーザーが読み書きできるようデバイスの権限を変える必要があります")
      .arg(idName(port.file.ownerName, port.file.owner));
}

}  // namespace

QString usbIdText(quint16 vendor, quint16 product) {
  return QStringLiteral("%1:%2").arg(vendor, 4, 16, QChar(u'0')).arg(product, 4, 16, QChar(u'0'));
}

QString shownText(const QString &text) {
  QString shown;
  int length = 0;
  for (const char32_t c : text.toUcs4()) {
    if (++length > kShownLength) return shown + u'…';
    switch (QChar::category(c)) {
      case QChar::Other_Control:
      case QChar::Other_Format:
      case QChar::Other_Surrogate:
      case QChar::Separator_Line:
      case QChar::Separator_Paragraph:
        shown += QStringLiteral("\\%1%2").arg(QChar(c < 0x100 ? u'x' : u'u')).arg(uint(c), c < 0x100 ? 2 : 4, 16, QChar(u'0'));
        break;
      default:
        shown += c == u'\\' ? QStringLiteral("\\\\") : QString::fromUcs4(&c, 1);
    }
  }
  return shown;
}

QString portNumbersOf(const QString &device, const ModuleLink::DeviceNamer &namer) {
  QStringList numbers[2];  // by kind
  for (int code = 1; code <= kMaxPortCode; ++code) {
    const PortChoice port = decodePortCode(code);
    if (sameFile(namer ? namer(port.portNum, port.kind) : deviceNameFor(port.portNum, port.kind), device))
      numbers[int(port.kind)] << QString::number(port.portNum);
  }
  QStringList text;
  for (const ConnectionKind kind : {ConnectionKind::Rs232c, ConnectionKind::UsbConverter}) {
    const QStringList &named = numbers[int(kind)];
    if (named.isEmpty()) continue;
    text << (named.size() == kMaxPortNumber ? QStringLiteral("Com 1 … Com %1").arg(kMaxPortNumber)
                                            : QStringLiteral("Com ") + named.join(QStringLiteral(", Com "))) +
                (kind == ConnectionKind::Rs232c ? QStringLiteral("（RS-232C）") : QStringLiteral("（USB変換）"));
  }
  return text.join(u'、');
}

SerialPortFacts deviceFacts(const QString &device, const ProgramDevices &program, const UserIds &user) {
  SerialPortFacts port;
  port.device = device;
  port.portNumbers = portNumbersOf(device, program.namer);
  port.given = sameFile(program.given, device);
  port.use = useOf(device, program.open);
  port.file = deviceFileOf(device);
  port.mayOpen = mayReadWrite(port.file, user);
  return port;
}

SystemFacts gatherSystemFacts(const ProgramDevices &program) {
  SystemFacts facts;
  facts.system = QSysInfo::prettyProductName();
  facts.kernel = QSysInfo::kernelType() + u' ' + QSysInfo::kernelVersion();
  facts.qtVersion = QString::fromLatin1(qVersion());
  const UserIds user = userIdsOfThisProcess();
  facts.user = userName(user.uid);
  facts.inDialout = userInDialout(user);
  // Each device once, by whichever name reached it first.
  const auto add = [&](const QString &device) -> SerialPortFacts & {
    for (SerialPortFacts &port : facts.ports)
      if (sameFile(port.device, device)) return port;
    return facts.ports.emplace_back(deviceFacts(device, program, user));
  };
  for (const QString &own : {program.given, program.open})
    if (!own.isEmpty()) add(own);
  for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
    SerialPortFacts &port = add(info.systemLocation());
    port.description = info.description();
    port.manufacturer = info.manufacturer();
    if (info.hasVendorIdentifier() && info.hasProductIdentifier()) {
      port.usbId = usbIdText(info.vendorIdentifier(), info.productIdentifier());
    }
    port.serialNumber = info.serialNumber();
  }
  return facts;
}

QString systemReport(const SystemFacts &facts) {
  const auto orNone = [](const QString &text) { return text.isEmpty() ? QStringLiteral("—") : text; };
  QStringList lines;
  lines << QStringLiteral("オペレーティングシステム: %1").arg(orNone(facts.system))
        << QStringLiteral("カーネル: %1").arg(orNone(facts.kernel)) << QStringLiteral("Qt: %1").arg(orNone(facts.qtVersion))
        << QStringLiteral("ユーザー: %1（dialout グループに%2）")
               .arg(orNone(shownText(facts.user)), facts.inDialout ? QStringLiteral("入っています") : QStringLiteral("入っていません"))
        << QString();
  if (facts.ports.empty()) lines << QStringLiteral("シリアルポートは見つかりませんでした");
  for (const SerialPortFacts &port : facts.ports) {
    const DeviceFile &file = port.file;
    lines << QStringLiteral("シリアルポート %1%2").arg(shownText(port.device), port.given ? QStringLiteral("（--device で指定）") : QString())
          << QStringLiteral("  ポート番号: %1").arg(port.portNumbers.isEmpty() ? QStringLiteral("なし（--device で開けます）") : port.portNumbers)
          << QStringLiteral("  説明: %1").arg(orNone(shownText(port.description)))
          << QStringLiteral("  製造元: %1").arg(orNone(shownText(port.manufacturer)))
          << QStringLiteral("  USB ベンダー:製品: %1").arg(orNone(port.usbId))
          << QStringLiteral("  シリアル番号: %1").arg(orNone(shownText(port.serialNumber)))
          << (file.exists ? QStringLiteral("  所有者: %1  グループ: %2  モード: %3")
                                .arg(idName(file.ownerName, file.owner), idName(file.groupName, file.group), modeText(file.mode))
                          : QStringLiteral("  所有者: —  グループ: —  モード: —"))
          << QStringLiteral("  状態: %1").arg(shownText(port.use))
          << QStringLiteral("  このユーザーが: %1").arg(openingText(port, facts.user)) << QString();
  }
  return lines.join(u'\n');
}

SystemInfoWindow::SystemInfoWindow(const QString &report, QWidget *parent) : QDialog(parent), report_(report) {
  setObjectName(QStringLiteral("SystemInfoWindow"));
  setWindowTitle(QStringLiteral("ｼｽﾃﾑ情報"));
  setAttribute(Qt::WA_DeleteOnClose);
  auto *text = new QPlainTextEdit(report_, this);
  text->setReadOnly(true);
  text->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  text->setLineWrapMode(QPlainTextEdit::NoWrap);
  auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto *layout = new QVBoxLayout(this);
  layout->addWidget(text);
  layout->addWidget(buttons);
  resize(720, 480);
}

}  // namespace vf
