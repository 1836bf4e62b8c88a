// Whether this process may create virtual HID devices.
#pragma once

#include "platform/code_signature.h"

namespace virelo {

// True when the own signature is valid under strict validation, the signing information is
// available, its entitlements hold "com.apple.developer.hid.virtual.device" = true and its team
// identifier is a non-empty string. Says nothing about which step failed.
bool corehidEntitled(CodeSignature& signature);

}  // namespace virelo
