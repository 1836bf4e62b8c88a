#include "service/capability_probe.h"

namespace virelo {

bool corehidEntitled(CodeSignature& signature) {
  if (!signature.copySelf() || !signature.checkValidityStrict() || !signature.copyStaticCode()) {
    return false;
  }
  auto info = signature.signingInformation();
  if (!info || !info->entitlements || !info->entitlements->is_object()) return false;
  auto entitlement = info->entitlements->find("com.apple.developer.hid.virtual.device");
  if (entitlement == info->entitlements->end() || !entitlement->is_boolean() ||
      !entitlement->get<bool>()) {
    return false;
  }
  return info->teamIdentifier && info->teamIdentifier->is_string() &&
         !info->teamIdentifier->get_ref<const std::string&>().empty();
}

}  // namespace virelo
