// The code-signing facts that decide whether this process may create virtual HID devices.
// Each operation mirrors one step of the platform's signature inspection so that every step can
// fail on its own. Called on the main thread during start-up only.
#pragma once

#include <nlohmann/json.hpp>
#include <optional>

namespace virelo {

// The signing-information dictionary. An absent entry is std::nullopt; a present entry keeps
// whatever kind of value the platform gave it, so the probe can reject values of the wrong kind.
struct SigningInformation {
  std::optional<nlohmann::json> entitlements;
  std::optional<nlohmann::json> teamIdentifier;
};

class CodeSignature {
 public:
  virtual ~CodeSignature() = default;
  // A code object for the running process could be obtained.
  virtual bool copySelf() = 0;
  // The process's own signature is valid under strict validation.
  virtual bool checkValidityStrict() = 0;
  // The static code object could be obtained.
  virtual bool copyStaticCode() = 0;
  // The signing information, or nullopt when it is not available.
  virtual std::optional<SigningInformation> signingInformation() = 0;
};

}  // namespace virelo
