// A fresh directory owned by the service user with mode 0700, removed with its contents.
#pragma once

#include <string>

namespace virelo::test {

class PrivateDir {
 public:
  PrivateDir();
  ~PrivateDir();
  PrivateDir(const PrivateDir&) = delete;
  PrivateDir& operator=(const PrivateDir&) = delete;

  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Writes text to a file (created by the service user).
void writeFile(const std::string& path, const std::string& text);

}  // namespace virelo::test
