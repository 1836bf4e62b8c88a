#include "platform/uhid/uhid_code_signature.h"

#include "platform/uhid/uhid_host.h"

namespace virelo::uhid {

UhidCodeSignature::UhidCodeSignature(std::string path) : path_(std::move(path)) {}

bool UhidCodeSignature::allowed() {
  if (!allowed_) allowed_ = uhidAvailable(path_);
  return *allowed_;
}

std::optional<SigningInformation> UhidCodeSignature::signingInformation() {
  if (!allowed()) return std::nullopt;
  SigningInformation info;
  info.entitlements = nlohmann::json{{"com.apple.developer.hid.virtual.device", true}};
  info.teamIdentifier = nlohmann::json(teamIdentifier);
  return info;
}

}  // namespace virelo::uhid
