#pragma once

#include <QString>

#include <vector>

namespace vf {

// Who a device file belongs to and who may read and write it, as stat(2)
// tells it (a link is followed to its device).
struct DeviceFile {
  bool exists = false;
  unsigned owner = 0;  // user id
  unsigned group = 0;  // group id
  unsigned mode = 0;   // the file's type and permission bits (st_mode)
  QString ownerName;   // empty: the system has no name for the id
  QString groupName;
};

DeviceFile deviceFileOf(const QString &path);

// Who asks to open a file: a user id and every group id the user's processes
// carry (the effective group and the supplementary groups).
struct UserIds {
  unsigned uid = 0;
  std::vector<unsigned> groups;
};

// This process's effective user and groups.
UserIds userIdsOfThisProcess();

// The name the system knows the user by (the password database, never the
// environment); "UID n" when it has none.
QString userName(unsigned uid);

// Whether the user may open the file for reading and writing, by its
// permission bits as the kernel reads them: the owner's bits for its owner,
// else the group's for a member of its group, else everyone else's; the
// superuser may always. (Access control lists are not read: serial devices
// carry none.)
bool mayReadWrite(const DeviceFile &file, const UserIds &user);

// Whether joining the group dialout (and logging in again) lets a user who
// may not open the file open it: its group is dialout, and that group may
// read and write it.
bool dialoutRemedyApplies(const DeviceFile &file);

}  // namespace vf
