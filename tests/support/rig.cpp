#include "tests/support/rig.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

namespace vf::rig {

void RecordingDialogs::showMessage(QWidget *, const QString &text) {
  messages << text;
  if (atMessage) atMessage(text);
}

QString RecordingDialogs::chooseFileToOpen(QWidget *, const QString &filter) {
  fileFilters << filter;
  return filesToChoose.isEmpty() ? QString() : filesToChoose.takeFirst();
}

bool FarEnd::readSome() {
  QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
  const QByteArray more = line.readFor(2);
  if (more.isEmpty()) return false;
  bytes += more;
  const auto decoded = decoder_.feed(more);
  events.insert(events.end(), decoded.begin(), decoded.end());
  return true;
}

void FarEnd::readFor(int ms) {
  QDeadlineTimer deadline(ms);
  while (!deadline.hasExpired()) readSome();
}

void FarEnd::settle(int quietMs) {
  QDeadlineTimer quiet(quietMs);
  QDeadlineTimer limit(5000);
  while (!quiet.hasExpired() && !limit.hasExpired()) {
    if (readSome()) quiet.setRemainingTime(quietMs);
  }
  const auto rest = decoder_.flush();
  events.insert(events.end(), rest.begin(), rest.end());
}

QStringList FarEnd::messages() const {
  QStringList texts;
  for (const auto &e : events)
    if (const auto *message = e.as<vf::decoded::Message>()) texts << message->text;
  return texts;
}

void FarEnd::clear() {
  bytes.clear();
  events.clear();
}

WindowRig::WindowRig(std::optional<QByteArray> ini, const QString &windowState, const QString &givenDevice) {
  if (ini) {
    QFile file(iniPath());
    if (file.open(QIODevice::WriteOnly)) file.write(*ini);
  }
  devices.insert(QStringLiteral("1/0"), module.line.path());
  devices.insert(QStringLiteral("2/1"), module.line.path());
  vf::MainWindow::Setup setup;
  setup.settingsFolder = folder.path();
  setup.deviceNamer = [this](int portNum, vf::ConnectionKind kind) {
    return devices.value(QStringLiteral("%1/%2").arg(portNum).arg(int(kind)), folder.filePath(QStringLiteral("none")));
  };
  setup.givenDevice = givenDevice;
  setup.endProgram = [this] { ++endRequests; };
  setup.windowStateFile = windowState.isEmpty() ? folder.filePath(u"window.ini"_qs) : windowState;
  window = std::make_unique<vf::MainWindow>(std::move(setup));
}

QString WindowRig::iniPath() const { return folder.filePath(QStringLiteral("portnum.ini")); }

QByteArray WindowRig::ini() const {
  QFile file(iniPath());
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<none>");
}

vf::PortDialog *WindowRig::dialog() const {
  for (vf::PortDialog *d : window->findChildren<vf::PortDialog *>())
    if (d->isVisible()) return d;
  return nullptr;
}

QString WindowRig::field(const QString &name) const {
  QObject *object = window->findChild<QObject *>(name);
  if (auto *text = qobject_cast<vf::TextField *>(object)) return text->fieldText();
  if (auto *line = qobject_cast<QLineEdit *>(object)) return line->text();
  if (auto *label = qobject_cast<QLabel *>(object)) return label->text();
  return QStringLiteral("<no field %1>").arg(name);
}

void WindowRig::press(const QString &name) {
  if (auto *button = find<QPushButton>(name))
    QTest::mouseClick(button, Qt::LeftButton);
  else
    find<QAction>(name)->trigger();
}

void WindowRig::type(const QString &name, const QString &text) {
  auto *field = find<QWidget>(name);
  field->setFocus();
  typeText(field, text);
}

void WindowRig::chooseSpeed(int speed) {
  static const char *const options[] = {"speedFastestOption", "speedFastOption", "speedMediumFastOption",
                                        "speedMediumOption", "speedSlowOption"};
  QTest::mouseClick(find<QRadioButton>(QString::fromLatin1(options[speed - 1])), Qt::LeftButton);
}

void typeText(QWidget *widget, const QString &text) {
  for (const char32_t c : text.toUcs4()) {
    if (c == u'\n')
      QTest::keyClick(widget, Qt::Key_Return);
    else
      QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString::fromUcs4(&c, 1), Qt::NoModifier);
  }
}

bool WindowRig::answer(const QString &port, bool usb, bool keep, bool enter) {
  if (!QTest::qWaitFor([&] { return this->dialog() != nullptr; })) return false;
  vf::PortDialog &dialog = *this->dialog();
  QTest::mouseClick(dialog.findChild<QRadioButton *>(usb ? QStringLiteral("usbConverterOption") : QStringLiteral("rs232cOption")),
                    Qt::LeftButton);
  auto *check = dialog.findChild<QCheckBox *>(QStringLiteral("keepSettingCheck"));
  if (check->isChecked() != keep) QTest::mouseClick(check, Qt::LeftButton);
  QLineEdit *edit = dialog.findChild<QComboBox *>(QStringLiteral("portNumberBox"))->lineEdit();
  edit->setFocus();
  edit->selectAll();
  QTest::keyClick(edit, Qt::Key_Backspace);
  QTest::keyClicks(edit, port);
  if (enter)
    QTest::keyClick(edit, Qt::Key_Return);
  else
    QTest::mouseClick(dialog.findChild<QPushButton *>(QStringLiteral("confirmButton")), Qt::LeftButton);
  return true;
}

}  // namespace vf::rig
