// A host made of parts: the code signature, the device service, the window server and the
// accessibility services, each supplied by whichever host folder provides it, together with the
// hooks that start and stop the parts' own threads. The hosts by name (platform/hosts/) are put
// together from such parts; no host folder builds another's.
//
// Lifetime: the parts live as long as the host; they may borrow from the state held in `shared`,
// which is released after every part. The destructor runs the stop hook first.
// Threads: as Host.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "platform/host.h"

namespace virelo {

struct HostParts {
  // What the parts borrow from: released last, in reverse order.
  std::vector<std::shared_ptr<const void>> shared;
  std::unique_ptr<CodeSignature> codeSignature;
  std::unique_ptr<HidDeviceService> devices;
  std::unique_ptr<EventServices> windowServer;
  // Called for each search set-up; what it returns keeps its services alive by itself.
  std::function<AccessibilityServices()> accessibility;
  // Either may be empty: nothing to start or stop.
  std::function<void()> startThreads;
  std::function<void()> stopThreads;
};

class ComposedHost final : public Host {
 public:
  // Throws std::invalid_argument when a service part is missing.
  explicit ComposedHost(HostParts parts);
  ~ComposedHost() override;
  ComposedHost(const ComposedHost&) = delete;
  ComposedHost& operator=(const ComposedHost&) = delete;

  CodeSignature& codeSignature() override { return *parts_.codeSignature; }
  HidDeviceService& devices() override { return *parts_.devices; }
  EventServices& windowServer() override { return *parts_.windowServer; }
  AccessibilityServices accessibility() override { return parts_.accessibility(); }
  void startThreads() override;
  void stopThreads() override;

 private:
  HostParts parts_;
};

}  // namespace virelo
