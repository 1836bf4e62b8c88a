#include "platform/sim/sim_code_signature.h"

namespace virelo::sim {
namespace {

bool flag(const nlohmann::json& object, const char* key) {
  auto it = object.find(key);
  return it == object.end() || !it->is_boolean() || it->get<bool>();
}

}  // namespace

SimCodeSignature::SimCodeSignature(const SimHost& host)
    : entitlements_({{"com.apple.developer.hid.virtual.device", true}}),
      teamIdentifier_("VIRELOSIM1") {
  auto it = host.world().find("signature");
  if (it == host.world().end() || !it->is_object()) return;
  const auto& sig = *it;
  self_ = flag(sig, "self");
  valid_ = flag(sig, "valid");
  staticCode_ = flag(sig, "staticCode");
  information_ = flag(sig, "information");
  if (sig.contains("entitlements")) entitlements_ = sig["entitlements"];
  if (sig.contains("teamIdentifier")) teamIdentifier_ = sig["teamIdentifier"];
}

std::optional<SigningInformation> SimCodeSignature::signingInformation() {
  if (!information_) return std::nullopt;
  SigningInformation info;
  if (!entitlements_.is_null()) info.entitlements = entitlements_;
  if (!teamIdentifier_.is_null()) info.teamIdentifier = teamIdentifier_;
  return info;
}

}  // namespace virelo::sim
