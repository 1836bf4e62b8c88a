// The capability probe on Linux. There is no code signature to inspect: a process may create
// virtual HID devices exactly when it can open /dev/uhid for reading and writing (as root, or
// through a udev rule or group that grants the device node). When it can, every step of the
// probe succeeds and the signing information carries the virtual-device entitlement and a team
// identifier; when it cannot, every step fails, beginning with copySelf().
//
// The device node is opened (and closed at once) the first time a fact is asked for; the
// answer is kept for the life of the object. Called on the main thread during start-up only.
#pragma once

#include <optional>
#include <string>

#include "platform/code_signature.h"

namespace virelo::uhid {

class UhidCodeSignature final : public CodeSignature {
 public:
  // The team identifier reported when the probe succeeds.
  static constexpr const char* teamIdentifier = "VIRELOUHID";

  explicit UhidCodeSignature(std::string path);
  bool copySelf() override { return allowed(); }
  bool checkValidityStrict() override { return allowed(); }
  bool copyStaticCode() override { return allowed(); }
  std::optional<SigningInformation> signingInformation() override;

 private:
  bool allowed();
  std::string path_;
  std::optional<bool> allowed_;
};

}  // namespace virelo::uhid
