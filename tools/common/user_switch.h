// Switching the tools' identity to the service's user. The service accepts only clients of its
// own user and refuses to run as the superuser, so a tool started as root talks to it as the user
// that owns the service's socket.
#pragma once

#include <sys/types.h>

#include <string>

namespace virelo::tools {

struct UserIds {
  uid_t uid = 0;
  gid_t gid = 0;
};

// The ids of a user by name; throws std::runtime_error when there is no such user.
UserIds lookUpUser(const std::string& name);
// The owner of a file (without following a final symbolic link); throws when it cannot be read.
UserIds ownerOf(const std::string& path);
// Becomes that user for good (all ids, no supplementary groups); throws when it cannot.
void becomeUser(const UserIds& ids);
// Switches only the effective ids (root can switch back with setEffective({0, 0})).
void setEffective(const UserIds& ids);

}  // namespace virelo::tools
