#include "link/device_access.h"

#include <QFile>

#include <algorithm>

#ifdef Q_OS_UNIX
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace vf {
namespace {

// The system's name for a user id; empty when it has none.
QString systemUserName(unsigned uid) {
#ifdef Q_OS_UNIX
  if (const passwd *entry = ::getpwuid(uid)) return QString::fromLocal8Bit(entry->pw_name);
#else
  Q_UNUSED(uid);
#endif
  return {};
}

}  // namespace

DeviceFile deviceFileOf(const QString &path) {
  DeviceFile file;
#ifdef Q_OS_UNIX
  struct stat facts {};
  if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &facts) != 0) return file;
  file = {true, facts.st_uid, facts.st_gid, facts.st_mode, systemUserName(facts.st_uid), {}};
  if (const group *group = ::getgrgid(facts.st_gid)) file.groupName = QString::fromLocal8Bit(group->gr_name);
#else
  Q_UNUSED(path);
#endif
  return file;
}

UserIds userIdsOfThisProcess() {
  UserIds user;
#ifdef Q_OS_UNIX
  user.uid = ::geteuid();
  std::vector<gid_t> groups(static_cast<std::size_t>(std::max(0, ::getgroups(0, nullptr))));
  const int count = ::getgroups(static_cast<int>(groups.size()), groups.data());
  user.groups.push_back(::getegid());
  for (int i = 0; i < count; ++i) user.groups.push_back(groups[static_cast<std::size_t>(i)]);
#endif
  return user;
}

QString userName(unsigned uid) {
  const QString name = systemUserName(uid);
  return name.isEmpty() ? QStringLiteral("UID %1").arg(uid) : name;
}

bool mayReadWrite(const DeviceFile &file, const UserIds &user) {
  if (!file.exists) return false;
  if (user.uid == 0) return true;
  const bool member = std::find(user.groups.begin(), user.groups.end(), file.group) != user.groups.end();
  const unsigned bits = user.uid == file.owner ? file.mode >> 6 : member ? file.mode >> 3 : file.mode;
  return (bits & 06) == 06;
}

bool dialoutRemedyApplies(const DeviceFile &file) {
  return file.exists && file.groupName == QStringLiteral("dialout") && (file.mode & 060) == 060;
}

}  // namespace vf
