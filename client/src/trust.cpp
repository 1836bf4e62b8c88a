#include "trust.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "virelo/client/errors.h"

namespace virelo::client::trust {
namespace {

std::string userName(uid_t uid) {
  passwd entry{};
  passwd* found = nullptr;
  std::array<char, 1024> buffer{};
  std::string id = "uid " + std::to_string(uid);
  if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr) {
    return id;
  }
  return std::string(found->pw_name) + " (" + id + ")";
}

// "you (nobody, uid 65534)" for the process's own user, else the name and id.
std::string whom(uid_t user) {
  std::string name = userName(user);
  if (user != ::geteuid()) return name;
  auto open = name.find(" (");
  return open == std::string::npos ? "you (" + name + ")"
                                   : "you (" + name.substr(0, open) + ", " + name.substr(open + 2);
}

std::string modeOf(const struct stat& st) {
  std::array<char, 8> text{};
  std::snprintf(text.data(), text.size(), "%04o", static_cast<unsigned>(st.st_mode & 07777));
  return text.data();
}

[[noreturn]] void refuse(const std::string& path, const std::string& why) {
  throw UntrustedService("refusing " + path + ": " + why);
}

[[noreturn]] void cannotOpen(const std::string& path) {
  throw NoSession("no usable Virelo session: cannot open " + path + ": " + std::strerror(errno));
}

struct stat statOf(const Descriptor& fd, const std::string& path) {
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) cannotOpen(path);
  return st;
}

void checkOwner(const struct stat& st, const std::string& path, uid_t user) {
  if (st.st_uid != user) {
    refuse(path, "it is owned by " + userName(st.st_uid) + ", not by " + whom(user));
  }
}

}  // namespace

Descriptor::~Descriptor() {
  if (fd_ >= 0) ::close(fd_);
}

Descriptor& Descriptor::operator=(Descriptor&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

RuntimeDirectory openRuntimeDirectory(const std::string& path) {
  RuntimeDirectory runtime;
  runtime.fd = Descriptor(::open(path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  if (!runtime.fd) {
    if (errno == ENOENT) return runtime;
    if (errno == ENOTDIR) refuse("$XDG_RUNTIME_DIR (" + path + ")", "it is not a directory");
    cannotOpen(path);
  }
  struct stat st = statOf(runtime.fd, path);
  runtime.user = ::geteuid() == 0 ? st.st_uid : ::geteuid();
  checkOwner(st, "$XDG_RUNTIME_DIR (" + path + ")", runtime.user);
  if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
    refuse("$XDG_RUNTIME_DIR (" + path + ")",
           "others can write it (mode " + modeOf(st) +
               "), so another user could plant a session there; make it a directory of yours "
               "with mode 0700");
  }
  return runtime;
}

Descriptor openPrivateDirectory(int parent, const std::string& name, const std::string& path,
                                uid_t user) {
  // O_PATH with O_NOFOLLOW opens a link itself, which fstat then shows as what it is.
  Descriptor fd(::openat(parent, name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
  if (!fd) {
    if (errno == ENOENT) return fd;
    cannotOpen(path);
  }
  struct stat st = statOf(fd, path);
  if (S_ISLNK(st.st_mode)) refuse(path, "it is a symbolic link, not a directory");
  if (!S_ISDIR(st.st_mode)) refuse(path, "it is not a directory");
  checkOwner(st, path, user);
  if ((st.st_mode & 077) != 0) {
    refuse(path, "others have access to it (mode " + modeOf(st) + "; the session makes it 0700)");
  }
  return fd;
}

Descriptor makePrivateDirectory(int parent, const std::string& name, const std::string& path,
                                uid_t user) {
  if (::mkdirat(parent, name.c_str(), 0700) != 0 && errno != EEXIST) {
    throw Error("cannot create " + path + ": " + std::strerror(errno));
  }
  Descriptor fd(::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!fd) {
    if (errno == ELOOP) refuse(path, "it is a symbolic link, not a directory");
    if (errno == ENOTDIR) refuse(path, "it is not a directory");
    cannotOpen(path);
  }
  checkOwner(statOf(fd, path), path, user);
  if (::fchmod(fd.get(), 0700) != 0) {
    throw Error("cannot make " + path + " private: " + std::strerror(errno));
  }
  return fd;
}

Descriptor openOwnFile(int directory, const std::string& name, const std::string& path, uid_t user,
                       bool privateMode) {
  // Looked at first without opening it for reading, so that a file of another user is refused for
  // what it is rather than for the permission it lacks.
  Descriptor found(::openat(directory, name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
  if (!found) {
    if (errno == ENOENT) return found;
    cannotOpen(path);
  }
  struct stat st = statOf(found, path);
  if (S_ISLNK(st.st_mode)) refuse(path, "it is a symbolic link");
  if (!S_ISREG(st.st_mode)) refuse(path, "it is not a regular file");
  checkOwner(st, path, user);
  if (privateMode && (st.st_mode & 077) != 0) {
    refuse(path, "others have access to it (mode " + modeOf(st) + "; the session writes it 0600)");
  }
  // The file checked above is the file read: non-blocking, so that nothing in its place can hold
  // the open up, and the same inode.
  Descriptor fd(
      ::openat(directory, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  if (!fd) {
    if (errno == ENOENT) return fd;
    cannotOpen(path);
  }
  struct stat opened = statOf(fd, path);
  if (opened.st_dev != st.st_dev || opened.st_ino != st.st_ino) {
    refuse(path, "it was replaced while it was being checked");
  }
  return fd;
}

namespace {

// The socket `name` in the checked directory: the user's, not a link, private.
void checkOwnSocket(int directory, const std::string& name, const std::string& path, uid_t user) {
  struct stat st {};
  if (::fstatat(directory, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) cannotOpen(path);
  if (S_ISLNK(st.st_mode)) refuse(path, "it is a symbolic link");
  if (!S_ISSOCK(st.st_mode)) refuse(path, "it is not a socket");
  checkOwner(st, path, user);
  if ((st.st_mode & 077) != 0) {
    refuse(path, "others have access to it (mode " + modeOf(st) + "; the session makes it 0600)");
  }
}

}  // namespace

Descriptor connectOwnSocket(const std::string& directory, const std::string& path) {
  const auto slash = path.rfind('/');
  const auto top = directory.rfind('/');
  if (slash == std::string::npos || path.substr(0, slash) != directory ||
      top == std::string::npos) {
    refuse(path, "it does not lie in the session's directory " + directory);
  }
  auto runtime = openRuntimeDirectory(top == 0 ? "/" : directory.substr(0, top));
  if (!runtime.fd) cannotOpen(directory);
  Descriptor parent =
      openPrivateDirectory(runtime.fd.get(), directory.substr(top + 1), directory, runtime.user);
  if (!parent) cannotOpen(directory);
  checkOwnSocket(parent.get(), path.substr(slash + 1), path, runtime.user);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof(address.sun_path)) refuse(path, "its path is too long for a socket");
  path.copy(address.sun_path, path.size());
  Descriptor fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (!fd ||
      ::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    throw ConnectionLost("cannot connect to " + path + ": " + std::strerror(errno));
  }
  checkPeer(fd.get(), path);
  return fd;
}

void checkPeer(int fd, const std::string& path) {
  ucred peer{};
  socklen_t length = sizeof(peer);
  if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0) {
    throw ConnectionLost("cannot tell who listens on " + path + ": " + std::strerror(errno));
  }
  if (peer.uid != ::geteuid()) {
    throw UntrustedService("refusing the service at " + path + ": it runs as " +
                           userName(peer.uid) + ", not as " + whom(::geteuid()) +
                           "; nothing was sent to it");
  }
}

}  // namespace virelo::client::trust
