#include "tools/common/user_switch.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace virelo::tools {

UserIds lookUpUser(const std::string& name) {
  passwd* user = ::getpwnam(name.c_str());
  if (user == nullptr) throw std::runtime_error("no such user: " + name);
  return {user->pw_uid, user->pw_gid};
}

UserIds ownerOf(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) {
    throw std::runtime_error("cannot read " + path + ": " + std::strerror(errno));
  }
  return {st.st_uid, st.st_gid};
}

void becomeUser(const UserIds& ids) {
  if (::setgroups(0, nullptr) != 0 || ::setresgid(ids.gid, ids.gid, ids.gid) != 0 ||
      ::setresuid(ids.uid, ids.uid, ids.uid) != 0) {
    throw std::runtime_error(std::string("cannot switch to the service's user: ") +
                             std::strerror(errno));
  }
}

void setEffective(const UserIds& ids) {
  // Back to root first: only root may change the effective group.
  if (::geteuid() != 0 && ::seteuid(0) != 0) {
    throw std::runtime_error(std::string("seteuid: ") + std::strerror(errno));
  }
  if (::setegid(ids.gid) != 0 || ::seteuid(ids.uid) != 0) {
    throw std::runtime_error(std::string("cannot switch the effective user: ") +
                             std::strerror(errno));
  }
}

}  // namespace virelo::tools
