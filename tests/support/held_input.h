// What a running service still holds on its outputs, read from the simulated host's trace, and
// the commands that make a client hold something on every output.
#pragma once

#include <chrono>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tests/support/test_client.h"

namespace virelo::test {

// Keyboard modifier 0x02 with keys 4 and 5, the mute usage and the primary button.
std::vector<nlohmann::json> holdEverythingCommands();
// Sends holdEverythingCommands() on an authenticated client; throws when a reply is not the
// acknowledgement.
void holdEverything(TestClient& client);

class HeldInput {
 public:
  HeldInput(std::string backend, std::string tracePath)
      : backend_(std::move(backend)), tracePath_(std::move(tracePath)) {}

  // Waits until the outputs hold exactly what holdEverythingCommands() asks for.
  bool waitHeld(std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;
  // Waits until the last keyboard, media and mouse output holds nothing.
  bool waitReleased(std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;
  // Whether the last outputs hold nothing, now.
  bool released() const;

 private:
  bool waitLast(const std::string& keyboard, const std::string& media, const std::string& mouse,
                std::chrono::milliseconds timeout) const;
  std::string backend_;
  std::string tracePath_;
};

}  // namespace virelo::test
