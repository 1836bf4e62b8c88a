// Steering profiles read from the configuration file's text.
#include "tools/steer/steer_profile.h"

#include <gtest/gtest.h>

namespace virelo::steer {
namespace {

TEST(SteerProfiles, NamedProfilesAreChosenPerControllerThenPerApplication) {
  const Profiles profiles = parseProfiles(R"({
    "host": "linux",
    "steer": {
      "profiles": {"default": {"maxSpeed": 900}, "fine": {"exponent": 3, "snapSpeed": 250}},
      "controllers": {"Virtual pad": "fine"},
      "applications": {"org.gimp.GIMP": "fine"}
    }})",
                                          "config.json");
  EXPECT_EQ(profiles.choose("Virtual pad", "").response.exponent, 3);
  EXPECT_EQ(profiles.choose("Other pad", "org.gimp.GIMP").snapSpeed, 250);
  const Profile& fallback = profiles.choose("Other pad", "gedit");
  EXPECT_EQ(fallback.response.maxSpeed, 900);
  EXPECT_EQ(fallback.response.exponent, Profile{}.response.exponent);
  EXPECT_EQ(parseProfiles(R"({"host":"sim"})", "c").byName.size(), 1u);
}

TEST(SteerProfiles, AWrongProfileIsNamedWithItsLine) {
  const auto message = [](const std::string& text) {
    try {
      parseProfiles(text, "config.json");
    } catch (const ProfileError& e) {
      return std::string(e.what());
    }
    return std::string("accepted");
  };
  EXPECT_EQ(message("{\"steer\": {\"profiles\": {\n  \"fine\": {\n    \"deadZone\": 1.5}}}}"),
            "config.json:3: profile \"fine\": \"deadZone\" is 1.5, must be a number within [0, "
            "0.9]");
  EXPECT_EQ(message("{\"steer\": {\"profiles\": {\n\"a\": {},\n\"b\": {\"speed\": 3}}}}"),
            "config.json:3: profile \"b\": unknown key \"speed\"");
  EXPECT_EQ(message("{\"steer\": {\"profiles\": {\n\"a\": {\"deadZone\": 0.5,\n"
                    "\"saturation\": 0.4}}}}"),
            "config.json:2: profile \"a\": \"saturation\" must be larger than \"deadZone\"");
  EXPECT_EQ(message("{\"steer\": {\n\"controllers\": {\"Pad\": \"nothing\"}}}"),
            "config.json:2: \"Pad\" must name a profile, not \"nothing\"");
  EXPECT_EQ(message("{\"steer\":\n {\"profiles\": [}"), "config.json:2: not JSON");
  EXPECT_EQ(message(std::string(17, '[') + std::string(17, ']')),
            "config.json: nested deeper than 16");
}

}  // namespace
}  // namespace virelo::steer
