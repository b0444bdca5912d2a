#include "about/about_window.h"

#include "about/program_icon.h"
#include "about/system_info.h"
#include "ui_about_window.h"

#ifdef Q_OS_WIN
#include <QFileInfo>
#include <QProcess>
#include <QSettings>
#endif

namespace vf {

#ifdef Q_OS_WIN
namespace {

const QString kSysInfoUnavailable = QStringLiteral("現時点ではｼｽﾃﾑ情報を使用できません");

}  // namespace
#endif

AboutWindow::AboutWindow(TellOperator tell, QWidget *parent, ProgramDevices devices)
    : QDialog(parent), ui_(std::make_unique<Ui::AboutWindow>()), tell_(std::move(tell)), devices_(std::move(devices)) {
  ui_->setupUi(this);
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  setFixedSize(size());
  setModal(false);
  setAttribute(Qt::WA_DeleteOnClose);
  ui_->programIconLabel->setPixmap(programIconPixmap());
  ui_->versionLabel->setText(QStringLiteral("Ver" VF_VERSION));  // the project's version, as --version tells it
  setWindowIcon(programIcon());

  connect(ui_->okButton, &QPushButton::clicked, this, [this] { done(QDialog::Accepted); });
  connect(ui_->systemInfoButton, &QPushButton::clicked, this, &AboutWindow::showSystemInfo);
  ui_->okButton->setFocus();
  setWindowTitle(ui_->titleLabel->text() + QStringLiteral("のﾊﾞｰｼﾞｮﾝ情報"));
}

AboutWindow::~AboutWindow() = default;

void AboutWindow::reject() { ui_->okButton->click(); }

void AboutWindow::showSystemInfo() {
#ifdef Q_OS_WIN
  const QString root = QStringLiteral("HKEY_LOCAL_MACHINE");
  QString program;
  QString value;
  if (readRegistryValue(root, QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO"), QStringLiteral("PATH"), value)) {
    program = value;
  } else if (readRegistryValue(root, QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools Location"), QStringLiteral("MSINFO"),
                         value)) {
    const QString candidate = value + QStringLiteral("\\MSINFO32.EXE");
    if (QFileInfo::exists(candidate)) program = candidate;
  }
  if (!program.isEmpty() && QProcess::startDetached(program, {})) return;
  if (tell_) tell_(this, kSysInfoUnavailable);
#else
  // Beside the About window, and staying when it closes.
  auto *info = new SystemInfoWindow(systemReport(gatherSystemFacts(devices_)), parentWidget());
  info->setWindowFlag(Qt::Window);
  info->show();
#endif
}

bool AboutWindow::readRegistryValue(const QString &rootKey, const QString &keyPath, const QString &valueName, QString &value) {
#ifdef Q_OS_WIN
  // Read access is all a look-up needs (asking for more fails for an
  // ordinary user under HKEY_LOCAL_MACHINE).
  QSettings key(rootKey + u'\\' + keyPath, QSettings::NativeFormat);
  if (key.status() != QSettings::NoError || !key.contains(valueName)) {
    value.clear();
    return false;
  }
  const QVariant value = key.value(valueName);
  switch (value.typeId()) {
    case QMetaType::QString:
      value = value.toString();
      break;
    case QMetaType::Int:
    case QMetaType::UInt:
      value = QStringLiteral("&h") + QString::number(value.toUInt(), 16).toUpper();
      break;
    default:
      break;  // other kinds of value are not read
  }
  return true;
#else
  Q_UNUSED(rootKey);
  Q_UNUSED(keyPath);
  Q_UNUSED(valueName);
  value.clear();
  return false;
#endif
}

}  // namespace vf
