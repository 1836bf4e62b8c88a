// The unprivileged user the end-to-end tests run the service and its clients as. The service
// refuses the superuser, and clients must be the same user as the service, so a test process that
// starts as root switches its effective ids to "nobody" for its whole life and switches back only
// for the few steps that need root.
#pragma once

#include <sys/types.h>

#include <functional>

namespace virelo::test {

class ServiceUser {
 public:
  // Call once before any test runs.
  static void adopt();
  // Whether the process can act as another user (it started as root).
  static bool privileged();
  static uid_t uid();
  static gid_t gid();
  // Runs fn with the effective ids of root (or of `uid` when given), then switches back.
  static void asUser(uid_t uid, gid_t gid, const std::function<void()>& fn);
  static void asRoot(const std::function<void()>& fn) { asUser(0, 0, fn); }
  // In a forked child before exec: become `uid` for real (all three ids and no supplementary
  // groups). Returns false when that is not possible.
  static bool becomeInChild(uid_t uid, gid_t gid);
};

}  // namespace virelo::test
