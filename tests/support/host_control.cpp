#include "tests/support/host_control.h"

#include <stdexcept>
#include <thread>

#include "tests/support/test_client.h"

namespace virelo::test {

nlohmann::json hostRequest(const std::string& controlPath, const nlohmann::json& request) {
  for (int attempt = 0;; ++attempt) {
    try {
      TestClient client(controlPath);
      return client.command(request);
    } catch (const std::runtime_error&) {
      if (attempt == 200) throw;
      std::this_thread::sleep_for(10ms);
    }
  }
}

}  // namespace virelo::test
