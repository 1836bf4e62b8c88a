#include "tests/support/service_user.h"

#include <grp.h>
#include <pwd.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

namespace virelo::test {
namespace {

bool gPrivileged = false;
uid_t gUid = 0;
gid_t gGid = 0;

void switchEffective(uid_t uid, gid_t gid) {
  // Back to root first: only root may change the effective group.
  if (::seteuid(0) != 0) throw std::runtime_error("seteuid(0)");
  if (::setegid(gid) != 0 || ::seteuid(uid) != 0) throw std::runtime_error("switch user");
  // A change of effective ids makes the process undumpable, which would keep the leak checker
  // of the sanitizer builds from inspecting it at exit.
  ::prctl(PR_SET_DUMPABLE, 1);
}

}  // namespace

void ServiceUser::adopt() {
  gUid = ::geteuid();
  gGid = ::getegid();
  if (::getuid() != 0 && gUid != 0) return;
  passwd* nobody = ::getpwnam("nobody");
  if (nobody == nullptr) throw std::runtime_error("no user nobody");
  gPrivileged = true;
  gUid = nobody->pw_uid;
  gGid = nobody->pw_gid;
  switchEffective(gUid, gGid);
  // Root again at exit: the leak checker of the sanitizer builds inspects the process from a
  // helper thread, which only works while all of its user ids agree.
  std::atexit([] { switchEffective(0, 0); });
}

bool ServiceUser::privileged() {
  return gPrivileged;
}
uid_t ServiceUser::uid() {
  return gUid;
}
gid_t ServiceUser::gid() {
  return gGid;
}

void ServiceUser::asUser(uid_t uid, gid_t gid, const std::function<void()>& fn) {
  if (!gPrivileged) throw std::runtime_error("not privileged");
  switchEffective(uid, gid);
  try {
    fn();
  } catch (...) {
    switchEffective(gUid, gGid);
    throw;
  }
  switchEffective(gUid, gGid);
}

bool ServiceUser::becomeInChild(uid_t uid, gid_t gid) {
  if (!gPrivileged) return uid == ::geteuid();
  if (::seteuid(0) != 0) return false;
  if (::setgroups(0, nullptr) != 0) return false;
  if (::setresgid(gid, gid, gid) != 0) return false;
  return ::setresuid(uid, uid, uid) == 0;
}

}  // namespace virelo::test
