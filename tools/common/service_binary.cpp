#include "tools/common/service_binary.h"

#include <unistd.h>

#include <filesystem>

namespace virelo::tools {

std::string serviceBinary() {
  std::error_code ec;
  auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    auto beside = self.parent_path() / "virelo-service";
    if (::access(beside.c_str(), X_OK) == 0) return beside.string();
  }
  return VIRELO_BUILT_SERVICE_PATH;
}

}  // namespace virelo::tools
