// Talks to the simulated host's control socket: one request line, one reply line.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

namespace virelo::test {

// Connects (retrying briefly while the host starts), sends the request and returns the reply.
nlohmann::json hostRequest(const std::string& controlPath, const nlohmann::json& request);

}  // namespace virelo::test
