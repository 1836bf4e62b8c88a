#include "tools/steer/steer_profile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <nlohmann/json.hpp>

#include "tools/steer/json_lines.h"

namespace virelo::steer {
namespace {

using nlohmann::json;

// A bound as people write it: 0 and 340, not 0.0 and 340.0.
std::string shownBound(double bound) {
  std::string text = std::to_string(bound);
  text.erase(text.find_last_not_of('0') + 1);
  if (text.back() == '.') text.pop_back();
  return text;
}

// The bounds of a configuration file, as "virelo session" reads it.
constexpr std::size_t kLargestFile = 65'536;
constexpr int kDeepestNesting = 16;

struct Field {
  const char* key;
  double least;
  double most;
  std::function<void(Profile&, double)> set;
};

const std::array<Field, 10>& fields() {
  static const std::array<Field, 10> table = {{
      {"deadZone", 0, 0.9, [](Profile& p, double v) { p.response.deadZone = v; }},
      {"saturation", 0.05, 1, [](Profile& p, double v) { p.response.saturation = v; }},
      {"exponent", 0.2, 5, [](Profile& p, double v) { p.response.exponent = v; }},
      {"maxSpeed", 10, 12'700, [](Profile& p, double v) { p.response.maxSpeed = v; }},
      {"precision", 0.01, 1, [](Profile& p, double v) { p.response.precision = v; }},
      {"snapSpeed", 0, 340, [](Profile& p, double v) { p.snapSpeed = v; }},
      {"scrollSpeed", 0, 100, [](Profile& p, double v) { p.scrollSpeed = v; }},
      {"dwellMs", 0, 5000, [](Profile& p, double v) { p.dwellMs = static_cast<int>(v); }},
      {"dwellRadius", 1, 100, [](Profile& p, double v) { p.dwellRadius = v; }},
      {"poseRange", 1, 90, [](Profile& p, double v) { p.poseRange = v; }},
  }};
  return table;
}

struct Reader {
  const std::string& path;
  std::map<std::string, int> lines;

  [[noreturn]] void fail(const std::string& keyPath, const std::string& what) const {
    // The line of the key, else of the nearest enclosing key that has one.
    std::string at = keyPath;
    int line = 0;
    while (line == 0 && !at.empty()) {
      if (auto it = lines.find(at); it != lines.end()) line = it->second;
      const auto slash = at.rfind('/');
      at = slash == std::string::npos ? "" : at.substr(0, slash);
    }
    throw ProfileError(path + ":" + std::to_string(line == 0 ? 1 : line) + ": " + what);
  }

  Profile profile(const std::string& name, const json& value) const {
    const std::string at = "steer/profiles/" + name;
    const std::string whose = "profile \"" + name + "\": ";
    if (!value.is_object()) fail(at, whose + "must be an object");
    Profile p;
    p.name = name;
    for (const auto& [key, number] : value.items()) {
      const Field* field = nullptr;
      for (const Field& f : fields()) field = key == f.key ? &f : field;
      if (field == nullptr) fail(at + "/" + key, whose + "unknown key \"" + key + "\"");
      if (!number.is_number() || number.get<double>() < field->least ||
          number.get<double>() > field->most) {
        fail(at + "/" + key, whose + "\"" + key + "\" is " + number.dump() +
                                 ", must be a number within [" + shownBound(field->least) + ", " +
                                 shownBound(field->most) + "]");
      }
      field->set(p, number.get<double>());
    }
    if (p.response.saturation <= p.response.deadZone) {
      fail(at, whose + "\"saturation\" must be larger than \"deadZone\"");
    }
    if (p.dwellMs != 0 && p.dwellMs < 200)
      fail(at + "/dwellMs", whose + "\"dwellMs\" is 0 or 200 and more");
    return p;
  }

  std::map<std::string, std::string> choices(const json& steer, const char* key,
                                             const Profiles& profiles) const {
    std::map<std::string, std::string> out;
    if (!steer.contains(key)) return out;
    const std::string at = std::string("steer/") + key;
    if (!steer[key].is_object()) fail(at, "\"" + std::string(key) + "\" must be an object");
    for (const auto& [name, profile] : steer[key].items()) {
      if (!profile.is_string() || !profiles.byName.contains(profile.get<std::string>())) {
        fail(at + "/" + name, "\"" + name + "\" must name a profile, not " + profile.dump());
      }
      out[name] = profile.get<std::string>();
    }
    return out;
  }
};

// How deep the text's arrays and objects nest, strings skipped.
int nesting(const std::string& text) {
  int depth = 0, deepest = 0;
  bool inString = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (inString) {
      if (c == '\\') ++i;
      inString = c != '"';
    } else if (c == '"') {
      inString = true;
    } else if (c == '{' || c == '[') {
      deepest = std::max(deepest, ++depth);
    } else if (c == '}' || c == ']') {
      --depth;
    }
  }
  return deepest;
}

}  // namespace

const Profile& Profiles::named(const std::string& name) const {
  auto it = byName.find(name);
  if (it == byName.end()) throw ProfileError("no steering profile named \"" + name + "\"");
  return it->second;
}

const Profile& Profiles::choose(const std::string& controller,
                                const std::string& application) const {
  if (auto it = controllers.find(controller); it != controllers.end()) return named(it->second);
  if (auto it = applications.find(application); it != applications.end()) {
    return named(it->second);
  }
  return named("default");
}

Profiles parseProfiles(const std::string& text, const std::string& path) {
  if (nesting(text) > kDeepestNesting) {
    throw ProfileError(path + ": nested deeper than " + std::to_string(kDeepestNesting));
  }
  json config;
  try {
    config = json::parse(text);
  } catch (const json::parse_error& e) {
    throw ProfileError(path + ":" + std::to_string(lineAt(text, e.byte)) + ": not JSON");
  }
  Reader reader{path, keyLines(text)};
  Profiles profiles;
  profiles.byName["default"] = Profile{};
  if (!config.is_object()) reader.fail("", "must be a JSON object");
  if (!config.contains("steer")) return profiles;
  const json& steer = config["steer"];
  if (!steer.is_object()) reader.fail("steer", "\"steer\" must be an object");
  for (const auto& [key, value] : steer.items()) {
    if (key != "profiles" && key != "controllers" && key != "applications") {
      reader.fail("steer/" + key, "\"steer\" has no key \"" + key + "\"");
    }
  }
  if (steer.contains("profiles")) {
    if (!steer["profiles"].is_object())
      reader.fail("steer/profiles", "\"profiles\" must be an object");
    for (const auto& [name, value] : steer["profiles"].items()) {
      profiles.byName[name] = reader.profile(name, value);
    }
  }
  profiles.controllers = reader.choices(steer, "controllers", profiles);
  profiles.applications = reader.choices(steer, "applications", profiles);
  return profiles;
}

std::optional<std::string> configPath() {
  std::string base;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && *xdg != '\0') {
    base = xdg;
  } else if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
    base = std::string(home) + "/.config";
  }
  struct stat st {};
  for (const std::string& candidate : {base.empty() ? std::string() : base + "/virelo/config.json",
                                       std::string("/etc/xdg/virelo/config.json")}) {
    if (!candidate.empty() && ::stat(candidate.c_str(), &st) == 0) return candidate;
  }
  return std::nullopt;
}

Profiles readProfiles(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) throw ProfileError(path + ": cannot be read: " + std::strerror(errno));
  struct stat st {};
  std::string text;
  bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  char buffer[4096];
  ssize_t got = 0;
  while (regular && text.size() <= kLargestFile &&
         ((got = ::read(fd, buffer, sizeof buffer)) > 0 || (got < 0 && errno == EINTR))) {
    if (got > 0) text.append(buffer, static_cast<std::size_t>(got));
  }
  ::close(fd);
  if (!regular) throw ProfileError(path + ": not a regular file");
  if (got < 0) throw ProfileError(path + ": cannot be read: " + std::strerror(errno));
  if (text.size() > kLargestFile) {
    throw ProfileError(path + ": larger than " + std::to_string(kLargestFile) + " bytes");
  }
  return parseProfiles(text, path);
}

}  // namespace virelo::steer
