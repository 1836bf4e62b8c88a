// A private Xvfb X server for tests, demos and benchmarks: one 1024 x 768 screen, open to every
// local user (-ac, so that the service user may connect while the server runs as root), no TCP,
// no reset when its last client leaves. It stops with the object.
//
// Threads: one thread uses an object.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "tests/support/child_process.h"

namespace virelo::test {

class XServer {
 public:
  // Starts Xvfb on a free display number of its choosing, or on `number`, and waits (up to 10 s)
  // until it accepts connections. available() tells whether it did.
  explicit XServer(std::optional<int> number = std::nullopt);
  ~XServer();
  XServer(const XServer&) = delete;
  XServer& operator=(const XServer&) = delete;

  bool available() const { return !display_.empty(); }
  // The display name, e.g. ":3".
  const std::string& display() const { return display_; }

  // A display number that no X server uses now (no lock file, no socket), from 90 up.
  static int freeDisplayNumber();

 private:
  std::unique_ptr<ChildProcess> process_;
  std::string display_;
};

}  // namespace virelo::test
