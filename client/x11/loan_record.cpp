#include "loan_record.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iostream>

#include "virelo/client/errors.h"
#include "virelo/client/session.h"

namespace virelo::client {
namespace {

void warn(const std::string& text) {
  std::cerr << "virelo: warning: " << text << '\n';
}

std::string reason() {
  return std::strerror(errno);
}

}  // namespace

LoanRecord::LoanRecord(std::string path, bool create) : path_(std::move(path)) {
  const std::filesystem::path record(path_);
  name_ = record.filename().string();
  const std::string directory = record.parent_path().string();
  if (create) ::mkdir(directory.c_str(), 0700);  // fails harmlessly when it exists
  const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) {
    if (create || errno != ENOENT) problem_ = "cannot open " + directory + " (" + reason() + ")";
    return;
  }
  struct stat status {};
  if (::fstat(fd, &status) != 0) {
    problem_ = "cannot examine " + directory + " (" + reason() + ")";
  } else if (status.st_uid != ::geteuid()) {
    problem_ =
        directory + " belongs to user " + std::to_string(status.st_uid) + ", not to this user";
  } else if ((status.st_mode & 077) != 0) {
    // The rule of the session's own virelo/ directory: no access at all for the group or others.
    problem_ = "other users have access to " + directory + " (it must have mode 0700)";
  }
  if (!problem_.empty()) {
    ::close(fd);
    return;
  }
  directory_ = fd;
}

LoanRecord::~LoanRecord() {
  if (lock_ >= 0) ::close(lock_);  // gives the lock up
  if (directory_ >= 0) ::close(directory_);
}

int LoanRecord::openLock() {
  if (directory_ < 0) {
    throw Error("cannot record borrowed keys: " + problem_ + "; nothing was borrowed");
  }
  const std::string name = name_ + ".lock";
  const int fd = ::openat(directory_, name.c_str(),
                          O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
  if (fd < 0) {
    throw Error("cannot open " + path_ + ".lock (" + reason() + "); nothing was borrowed");
  }
  return fd;
}

void LoanRecord::lock() {
  if (lock_ >= 0) return;
  const int fd = openLock();
  while (::flock(fd, LOCK_EX) != 0) {
    if (errno != EINTR) {
      const std::string why = reason();
      ::close(fd);
      throw Error("cannot lock " + path_ + ".lock (" + why + "); nothing was borrowed");
    }
  }
  lock_ = fd;
}

bool LoanRecord::tryLock() {
  if (lock_ >= 0) return true;
  if (directory_ < 0) {
    if (!problem_.empty()) warn(problem_ + "; a record of borrowed keys there is ignored");
    return false;
  }
  int fd = -1;
  try {
    fd = openLock();
  } catch (const Error& e) {
    warn(e.what());
    return false;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);  // a live borrower holds it (or it cannot be locked at all)
    return false;
  }
  lock_ = fd;
  return true;
}

bool LoanRecord::exists() const {
  struct stat status {};
  return directory_ >= 0 && ::fstatat(directory_, name_.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0;
}

std::optional<std::string> LoanRecord::read() const {
  const int fd =
      ::openat(directory_, name_.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    if (errno != ENOENT) warn("ignored " + path_ + ": cannot open it (" + reason() + ")");
    return std::nullopt;
  }
  std::optional<std::string> text;
  struct stat status {};
  if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && status.st_uid != ::geteuid()) {
    warn("ignored " + path_ + ": its owner is user " + std::to_string(status.st_uid));
  } else {
    try {
      text = readBoundedFile(fd, kMaxRecordSize);
    } catch (const UnreadableFile& e) {
      warn("ignored " + path_ + ": " + e.what());
    }
  }
  ::close(fd);
  return text;
}

void LoanRecord::write(const std::string& text) {
  if (directory_ < 0) {
    throw Error("cannot record borrowed keys: " + problem_ + "; nothing was borrowed");
  }
  const std::string temporary = name_ + ".new";
  const int fd = ::openat(directory_, temporary.c_str(),
                          O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
  const bool written = fd >= 0 && text.size() <= kMaxRecordSize &&
                       ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) &&
                       ::fsync(fd) == 0;
  if (fd >= 0) ::close(fd);
  if (!written || ::renameat(directory_, temporary.c_str(), directory_, name_.c_str()) != 0) {
    ::unlinkat(directory_, temporary.c_str(), 0);
    throw Error("cannot write " + path_ + ", which records borrowed keys; nothing was borrowed");
  }
}

void LoanRecord::remove() {
  if (directory_ >= 0) ::unlinkat(directory_, name_.c_str(), 0);
}

}  // namespace virelo::client
