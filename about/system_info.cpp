#include "about/system_info.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QSerialPortInfo>
#include <QSysInfo>
#include <QVBoxLayout>

#ifdef Q_OS_UNIX
#include <grp.h>
#include <unistd.h>
#endif

namespace vf {
namespace {

// Who holds the device: the processes whose open files include it, as far as
// this user may look (/proc/PID/fd).
QString useOf(const QString &device, const QString &ownDevice) {
  if (!ownDevice.isEmpty() && QFileInfo(ownDevice).canonicalFilePath() == QFileInfo(device).canonicalFilePath())
    return QStringLiteral("このプログラムが使用中");
#ifdef Q_OS_LINUX
  QStringList holders;
  const QString target = QFileInfo(device).canonicalFilePath();
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

bool userInDialout() {
#ifdef Q_OS_UNIX
  const group *dialout = ::getgrnam("dialout");
  if (!dialout) return false;
  std::vector<gid_t> groups(static_cast<std::size_t>(std::max(0, ::getgroups(0, nullptr))));
  const int n = ::getgroups(static_cast<int>(groups.size()), groups.data());
  for (int i = 0; i < n; ++i)
    if (groups[static_cast<std::size_t>(i)] == dialout->gr_gid) return true;
  return ::getegid() == dialout->gr_gid;
#else
  return true;
#endif
}

}  // namespace

QString usbIdText(quint16 vendor, quint16 product) {
  return QStringLiteral("%1:%2").arg(vendor, 4, 16, QChar(u'0')).arg(product, 4, 16, QChar(u'0'));
}

SystemFacts gatherSystemFacts(const QString &ownDevice) {
  SystemFacts facts;
  facts.system = QSysInfo::prettyProductName();
  facts.kernel = QSysInfo::kernelType() + u' ' + QSysInfo::kernelVersion();
  facts.qtVersion = QString::fromLatin1(qVersion());
  facts.user = qEnvironmentVariable("USER", qEnvironmentVariable("USERNAME"));
  facts.inDialout = userInDialout();
  for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
    SerialPortFacts port;
    port.device = info.systemLocation();
    port.description = info.description();
    port.manufacturer = info.manufacturer();
    if (info.hasVendorIdentifier() && info.hasProductIdentifier()) {
      port.usbId = usbIdText(info.vendorIdentifier(), info.productIdentifier());
    }
    port.serialNumber = info.serialNumber();
    port.use = useOf(port.device, ownDevice);
#ifdef Q_OS_UNIX
    port.mayOpen = ::access(QFile::encodeName(port.device).constData(), R_OK | W_OK) == 0;
#else
    port.mayOpen = true;
#endif
    facts.ports.push_back(port);
  }
  return facts;
}

QString systemReport(const SystemFacts &facts) {
  const auto orNone = [](const QString &text) { return text.isEmpty() ? QStringLiteral("—") : text; };
  QStringList lines;
  lines << QStringLiteral("オペレーティングシステム: %1").arg(orNone(facts.system))
        << QStringLiteral("カーネル: %1").arg(orNone(facts.kernel)) << QStringLiteral("Qt: %1").arg(orNone(facts.qtVersion))
        << QStringLiteral("ユーザー: %1（dialout グループに%2）")
               .arg(orNone(facts.user), facts.inDialout ? QStringLiteral("入っています") : QStringLiteral("入っていません"))
        << QString();
  if (facts.ports.empty()) lines << QStringLiteral("シリアルポートは見つかりませんでした");
  for (const SerialPortFacts &port : facts.ports) {
    lines << QStringLiteral("シリアルポート %1").arg(port.device)
          << QStringLiteral("  説明: %1").arg(orNone(port.description))
          << QStringLiteral("  製造元: %1").arg(orNone(port.manufacturer))
          << QStringLiteral("  USB ベンダー:製品: %1").arg(orNone(port.usbId))
          << QStringLiteral("  シリアル番号: %1").arg(orNone(port.serialNumber))
          << QStringLiteral("  状態: %1").arg(port.use)
          << QStringLiteral("  このユーザーが: %1")
                 .arg(port.mayOpen ? QStringLiteral("開けます") : QStringLiteral("開けません（権限がありません）"))
          << QString();
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
  resize(560, 420);
}

}  // namespace vf
