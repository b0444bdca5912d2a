#include "about/about_window.h"

#include "about/program_icon.h"
#include "about/system_info.h"
#include "ui_frmabout.h"

#ifdef Q_OS_WIN
#include <QFileInfo>
#include <QProcess>
#include <QSettings>
#endif

#ifdef Q_OS_WIN
namespace {

const QString kSysInfoUnavailable = QStringLiteral("現時点ではｼｽﾃﾑ情報を使用できません");

}  // namespace
#endif

frmAbout::frmAbout(TellOperator tell, QWidget *parent, QString ownDevice)
    : QDialog(parent), ui_(std::make_unique<Ui::frmAbout>()), tell_(std::move(tell)), ownDevice_(std::move(ownDevice)) {
  ui_->setupUi(this);
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  setFixedSize(size());
  setModal(false);
  setAttribute(Qt::WA_DeleteOnClose);
  ui_->picIcon->setPixmap(vf::programIconPixmap());
  ui_->lblVersion->setText(QStringLiteral("Ver" VF_VERSION));  // the project's version, as --version tells it
  setWindowIcon(vf::programIcon());

  connect(ui_->cmdOK, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);
  connect(ui_->cmdSysInfo, &QPushButton::clicked, this, &frmAbout::cmdSysInfo_Click);
  ui_->cmdOK->setFocus();
  Form_Load();
}

frmAbout::~frmAbout() = default;

void frmAbout::Form_Load() { setWindowTitle(ui_->lblTitle->text() + QStringLiteral("のﾊﾞｰｼﾞｮﾝ情報")); }

void frmAbout::cmdOK_Click() { done(QDialog::Accepted); }

void frmAbout::reject() { ui_->cmdOK->click(); }

void frmAbout::cmdSysInfo_Click() { StartSysInfo(); }

void frmAbout::StartSysInfo() {
#ifdef Q_OS_WIN
  const QString root = QStringLiteral("HKEY_LOCAL_MACHINE");
  QString program;
  QString value;
  if (GetKeyValue(root, QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO"), QStringLiteral("PATH"), value)) {
    program = value;
  } else if (GetKeyValue(root, QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools Location"), QStringLiteral("MSINFO"),
                         value)) {
    const QString candidate = value + QStringLiteral("\\MSINFO32.EXE");
    if (QFileInfo::exists(candidate)) program = candidate;
  }
  if (!program.isEmpty() && QProcess::startDetached(program, {})) return;
  if (tell_) tell_(this, kSysInfoUnavailable);
#else
  // Beside the About window, and staying when it closes.
  auto *info = new vf::SystemInfoWindow(vf::systemReport(vf::gatherSystemFacts(ownDevice_)), parentWidget());
  info->setWindowFlag(Qt::Window);
  info->show();
#endif
}

bool frmAbout::GetKeyValue(const QString &KeyRoot, const QString &KeyName, const QString &SubKeyRef, QString &KeyVal) {
#ifdef Q_OS_WIN
  // Read access is all a look-up needs (asking for more fails for an
  // ordinary user under HKEY_LOCAL_MACHINE).
  QSettings key(KeyRoot + u'\\' + KeyName, QSettings::NativeFormat);
  if (key.status() != QSettings::NoError || !key.contains(SubKeyRef)) {
    KeyVal.clear();
    return false;
  }
  const QVariant value = key.value(SubKeyRef);
  switch (value.typeId()) {
    case QMetaType::QString:
      KeyVal = value.toString();
      break;
    case QMetaType::Int:
    case QMetaType::UInt:
      KeyVal = QStringLiteral("&h") + QString::number(value.toUInt(), 16).toUpper();
      break;
    default:
      break;  // other kinds of value are not read
  }
  return true;
#else
  Q_UNUSED(KeyRoot);
  Q_UNUSED(KeyName);
  Q_UNUSED(SubKeyRef);
  KeyVal.clear();
  return false;
#endif
}
