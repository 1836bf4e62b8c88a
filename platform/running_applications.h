// The running applications of the user session, looked up by process id, and this process's own
// id.
//
// Threads: ownProcessID() is called at start-up on the main thread; runningApplication() only on
// the snap target finder's background queue.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace virelo {

class RunningApplications {
 public:
  struct Application {
    std::optional<std::string> bundleIdentifier;
    std::optional<std::filesystem::path> bundleLocation;
    // Set when the platform recognised a web browser or web-based application by its own means
    // (on Linux, where identifiers and application layouts differ from bundles).
    bool web = false;
  };

  virtual ~RunningApplications() = default;
  // The running application with that process id, or std::nullopt when there is none.
  virtual std::optional<Application> runningApplication(std::int32_t pid) = 0;
  // The process id of this process; fixed for its life.
  virtual std::int32_t ownProcessID() = 0;
};

}  // namespace virelo
