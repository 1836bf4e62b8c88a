// A fresh directory private to the effective user (mode 0700), removed with its contents.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>
#include <string>

namespace virelo::testing {

class PrivateDir {
 public:
  PrivateDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "vl-svc-XXXXXX").string();
    if (::mkdtemp(tmpl.data()) == nullptr) throw std::runtime_error("mkdtemp");
    path_ = tmpl;
    // mkdtemp already gives it to us; be explicit in case the temporary directory is set-group.
    if (::chown(path_.c_str(), ::geteuid(), ::getegid()) != 0 ||
        ::chmod(path_.c_str(), 0700) != 0) {
      throw std::runtime_error("chown/chmod");
    }
  }
  ~PrivateDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  PrivateDir(const PrivateDir&) = delete;
  PrivateDir& operator=(const PrivateDir&) = delete;

  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

  // A subdirectory with the given mode, owned by the effective user.
  std::string mkdir(const std::string& name, mode_t mode) const {
    std::string sub = *this / name;
    if (::mkdir(sub.c_str(), 0700) != 0 || ::chown(sub.c_str(), ::geteuid(), ::getegid()) != 0 ||
        ::chmod(sub.c_str(), mode) != 0) {
      throw std::runtime_error("mkdir " + sub);
    }
    return sub;
  }

 private:
  std::string path_;
};

}  // namespace virelo::testing
