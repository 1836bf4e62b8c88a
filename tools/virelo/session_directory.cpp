#include "tools/virelo/session_directory.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "virelo/client/session.h"

namespace virelo::tools {
namespace {

std::string failed(const std::string& what) {
  return what + ": " + std::strerror(errno);
}

}  // namespace

std::string prepareSessionDirectory(const client::EnvironmentLookup& environment) {
  const char* runtime = environment("XDG_RUNTIME_DIR");
  const std::string fix =
      "; log in through a session manager that sets it (systemd-logind does), or set "
      "XDG_RUNTIME_DIR to a directory that only you can use (mode 0700)";
  if (runtime == nullptr || runtime[0] == '\0')
    throw SessionError("$XDG_RUNTIME_DIR is not set" + fix);
  if (runtime[0] != '/') {
    throw SessionError("$XDG_RUNTIME_DIR is relative (\"" + std::string(runtime) +
                       "\"): it must be an absolute path" + fix);
  }
  struct stat st {};
  if (::stat(runtime, &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid()) {
    throw SessionError("$XDG_RUNTIME_DIR (" + std::string(runtime) +
                       ") is not a directory of this user" + fix);
  }
  // Whoever can write it could move virelo/ aside and put their own in its place, and clients
  // would not trust it either.
  if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
    char mode[8];
    std::snprintf(mode, sizeof(mode), "%04o", static_cast<unsigned>(st.st_mode & 07777));
    throw SessionError("$XDG_RUNTIME_DIR (" + std::string(runtime) +
                       ") can be written by others (mode " + mode + ")" + fix);
  }
  std::string directory = client::sessionDirectory(environment);
  if (::mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST) {
    throw SessionError(failed("cannot create " + directory));
  }
  if (::lstat(directory.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid() ||
      ::chmod(directory.c_str(), 0700) != 0) {
    throw SessionError(directory + " is not a private directory of this user");
  }
  return directory;
}

SessionLock::SessionLock(const std::string& directory) {
  std::string path = directory + "/session.lock";
  fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd_ < 0) throw SessionError(failed("cannot open " + path));
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  if (::fcntl(fd_, F_OFD_SETLK, &lock) == 0) return;
  int e = errno;
  ::close(fd_);
  fd_ = -1;
  if (e != EAGAIN && e != EACCES) {
    errno = e;
    throw SessionError(failed("cannot lock " + path));
  }
  std::string running = "a Virelo session is already running";
  try {
    if (auto info = client::readSession(directory)) {
      running += " (session pid " + std::to_string(info->sessionPid) + ", service pid " +
                 std::to_string(info->pid) + ", socket " + info->socket + ")";
    }
  } catch (const client::Error&) {
    // It holds the lock; what it published does not matter for the refusal.
  }
  throw SessionError(running + "; stop it first (systemctl --user stop virelo)");
}

SessionLock::~SessionLock() {
  if (fd_ >= 0) ::close(fd_);
}

void removeLeftovers(const std::string& directory) {
  std::error_code ignored;
  std::filesystem::remove(directory + "/session.json", ignored);
  std::filesystem::remove(directory + "/session.json.new", ignored);
  for (const auto& entry : std::filesystem::directory_iterator(directory, ignored)) {
    if (entry.path().filename().string().starts_with("virelo-")) {
      std::filesystem::remove_all(entry.path(), ignored);
    }
  }
}

}  // namespace virelo::tools
