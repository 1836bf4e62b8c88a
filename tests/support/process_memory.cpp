#include "tests/support/process_memory.h"

#include <fstream>
#include <string>

#include "tests/support/service_user.h"

namespace virelo::test {

long residentKiB(pid_t pid) {
  long kib = -1;
  auto read = [&] {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);) {
      if (line.rfind("VmRSS:", 0) == 0) kib = std::stol(line.substr(6));
    }
  };
  if (ServiceUser::privileged()) {
    ServiceUser::asRoot(read);
  } else {
    read();
  }
  return kib;
}

}  // namespace virelo::test
