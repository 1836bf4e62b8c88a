// Code-signing facts of the simulated host, from the world's "signature" object:
// "self", "valid", "staticCode", "information" (booleans, default true), "entitlements" and
// "teamIdentifier" (any JSON value; null means the entry is absent). Defaults describe a build
// that carries the virtual-device entitlement.
#pragma once

#include "platform/code_signature.h"
#include "platform/sim/sim_host.h"

namespace virelo::sim {

class SimCodeSignature final : public CodeSignature {
 public:
  explicit SimCodeSignature(const SimHost& host);
  bool copySelf() override { return self_; }
  bool checkValidityStrict() override { return valid_; }
  bool copyStaticCode() override { return staticCode_; }
  std::optional<SigningInformation> signingInformation() override;

 private:
  bool self_ = true;
  bool valid_ = true;
  bool staticCode_ = true;
  bool information_ = true;
  nlohmann::json entitlements_;
  nlohmann::json teamIdentifier_;
};

}  // namespace virelo::sim
