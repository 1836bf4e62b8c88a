// The capability probe: every one of its facts must hold, each failing alone makes it false.
#include "service/capability_probe.h"

#include <gtest/gtest.h>

namespace virelo {
namespace {

using json = nlohmann::json;

class ScriptedSignature final : public CodeSignature {
 public:
  bool self = true;
  bool valid = true;
  bool staticCode = true;
  std::optional<SigningInformation> info = SigningInformation{
      json{{"com.apple.developer.hid.virtual.device", true}}, json("ABCDE12345")};

  bool copySelf() override { return self; }
  bool checkValidityStrict() override { return valid; }
  bool copyStaticCode() override { return staticCode; }
  std::optional<SigningInformation> signingInformation() override { return info; }
};

TEST(CapabilityProbe, AllFactsHoldingIsEntitled) {
  ScriptedSignature signature;
  EXPECT_TRUE(corehidEntitled(signature));
}

TEST(CapabilityProbe, NoCodeObjectIsNotEntitled) {
  ScriptedSignature signature;
  signature.self = false;
  EXPECT_FALSE(corehidEntitled(signature));
}

TEST(CapabilityProbe, InvalidSignatureIsNotEntitled) {
  ScriptedSignature signature;
  signature.valid = false;
  EXPECT_FALSE(corehidEntitled(signature));
}

TEST(CapabilityProbe, NoStaticCodeIsNotEntitled) {
  ScriptedSignature signature;
  signature.staticCode = false;
  EXPECT_FALSE(corehidEntitled(signature));
}

TEST(CapabilityProbe, NoSigningInformationIsNotEntitled) {
  ScriptedSignature signature;
  signature.info.reset();
  EXPECT_FALSE(corehidEntitled(signature));
}

TEST(CapabilityProbe, AbsentEntitlementsDictionaryIsNotEntitled) {
  ScriptedSignature signature;
  signature.info->entitlements.reset();
  EXPECT_FALSE(corehidEntitled(signature));
}

TEST(CapabilityProbe, EntitlementsOfAnotherKindAreNotEntitled) {
  for (const json& wrong : {json::array({"com.apple.developer.hid.virtual.device"}), json(true),
                            json("com.apple.developer.hid.virtual.device"), json(nullptr)}) {
    ScriptedSignature signature;
    signature.info->entitlements = wrong;
    EXPECT_FALSE(corehidEntitled(signature)) << wrong;
  }
}

TEST(CapabilityProbe, EntitlementAbsentFalseOrOfTheWrongKindIsNotEntitled) {
  for (const json& value : {json(false), json(1), json("true"), json::array({true}),
                            json::object({{"value", true}}), json(nullptr)}) {
    ScriptedSignature signature;
    signature.info->entitlements = json{{"com.apple.developer.hid.virtual.device", value}};
    EXPECT_FALSE(corehidEntitled(signature)) << value;
  }
  ScriptedSignature other;
  other.info->entitlements = json{{"com.apple.developer.hid.virtual.devices", true}};
  EXPECT_FALSE(corehidEntitled(other));
  ScriptedSignature empty;
  empty.info->entitlements = json::object();
  EXPECT_FALSE(corehidEntitled(empty));
}

TEST(CapabilityProbe, TeamIdentifierEmptyNonStringOrAbsentIsNotEntitled) {
  for (const json& team :
       {json(""), json(12345), json::array({"ABCDE12345"}), json(nullptr), json(true)}) {
    ScriptedSignature signature;
    signature.info->teamIdentifier = team;
    EXPECT_FALSE(corehidEntitled(signature)) << team;
  }
  ScriptedSignature absent;
  absent.info->teamIdentifier.reset();
  EXPECT_FALSE(corehidEntitled(absent));
}

TEST(CapabilityProbe, OneCharacterTeamIdentifierIsEnough) {
  ScriptedSignature signature;
  signature.info->teamIdentifier = json("X");
  EXPECT_TRUE(corehidEntitled(signature));
}

}  // namespace
}  // namespace virelo
