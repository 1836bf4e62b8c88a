#include "tests/support/private_dir.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "tests/support/service_user.h"

namespace virelo::test {

PrivateDir::PrivateDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "vl-e2e-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp");
  path_ = pattern;
}

PrivateDir::~PrivateDir() {
  std::error_code ignored;
  auto remove = [&] { std::filesystem::remove_all(path_, ignored); };
  if (ServiceUser::privileged()) {
    ServiceUser::asRoot(remove);
  } else {
    remove();
  }
}

void writeFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  if (!out) throw std::runtime_error("cannot write " + path);
}

}  // namespace virelo::test
