// A client of the service's socket for tests: raw bytes and lines in, reply lines out, with
// timeouts, so that framing edge cases can be driven byte by byte.
#pragma once

#include <chrono>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "tests/support/line_reader.h"

namespace virelo::test {

using namespace std::chrono_literals;

// The service's reply to a command that it carried out.
inline const nlohmann::json kAck = {{"ok", true}, {"ready", true}};

// A blocking stream connection to the Unix-domain socket at the path, with the current effective
// user; throws std::runtime_error when it cannot be made.
int connectUnix(const std::string& socketPath);

class TestClient {
 public:
  // Connects with the current effective user; throws when the connection is refused.
  explicit TestClient(const std::string& socketPath);
  ~TestClient();
  TestClient(const TestClient&) = delete;
  TestClient& operator=(const TestClient&) = delete;

  // Sends bytes as they are, in one send.
  void sendRaw(const std::string& bytes);
  void sendLine(const std::string& line) { sendRaw(line + "\n"); }
  void send(const nlohmann::json& object) { sendLine(object.dump()); }
  // The next reply line, or nullopt on timeout or when the service closed the connection.
  std::optional<std::string> readLine(std::chrono::milliseconds timeout = 5s);
  // Sends the command and parses its reply; throws when there is none.
  nlohmann::json command(const nlohmann::json& object);
  // "hello" with the token; returns the reply.
  nlohmann::json hello(const std::string& token);
  // True when the service closed the connection within the timeout (pending replies are skipped).
  bool closedByService(std::chrono::milliseconds timeout = 5s);
  void close();
  int fd() const { return fd_; }

 private:
  int fd_ = -1;
  LineReader reader_;
};

}  // namespace virelo::test
