// Steering profiles: the numbers that shape how a controller steers, named, and chosen per
// controller or per application, from the "steer" object of the configuration file (the file of
// "virelo session": $XDG_CONFIG_HOME/virelo/config.json, ~/.config when that is unset, else
// /etc/xdg/virelo/config.json; a regular file of at most 64 KiB nested at most 16 levels deep):
//
//   "steer": {
//     "profiles": {"default": {"maxSpeed": 1500}, "fine": {"exponent": 3, "snapSpeed": 250}},
//     "controllers": {"Xbox 360 Controller": "fine"},
//     "applications": {"org.inkscape.Inkscape": "fine"}
//   }
//
// A profile names only the numbers it changes; the others keep the defaults below. "default" is
// the profile of every controller and application not named, and may itself be changed. A wrong
// profile is a ProfileError whose message names the file, the line and the key.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>

#include "tools/steer/stick_response.h"

namespace virelo::steer {

class ProfileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct Profile {
  std::string name = "default";
  Response response;
  // At or below this speed (points per second) the pointer moves by snapped moves; above it by
  // motion. Below the service's own limit for capturing a moving cursor (350).
  double snapSpeed = 300;
  // Wheel steps per second with the second stick fully deflected.
  double scrollSpeed = 15;
  // Dwell click: the pause in milliseconds (0: off) and how far the pointer may wander meanwhile.
  int dwellMs = 800;
  double dwellRadius = 6;
  // A head tracker's yaw or pitch, in degrees, that counts as full deflection.
  double poseRange = 15;
};

struct Profiles {
  std::map<std::string, Profile> byName;
  std::map<std::string, std::string> controllers;
  std::map<std::string, std::string> applications;

  // The profile of the controller or, before it, of the application; "default" otherwise.
  const Profile& choose(const std::string& controller, const std::string& application) const;
  // The profile of that name; throws ProfileError when there is none.
  const Profile& named(const std::string& name) const;
};

// The profiles of a configuration file's text; `path` names it in the messages. A text without
// "steer" gives the built-in default alone. Throws ProfileError.
Profiles parseProfiles(const std::string& text, const std::string& path);

// The configuration file that applies (see above), or nullopt when there is none.
std::optional<std::string> configPath();
// The profiles of the file at `path` (bounded as above). Throws ProfileError.
Profiles readProfiles(const std::string& path);

}  // namespace virelo::steer
