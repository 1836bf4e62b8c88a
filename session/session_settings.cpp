#include "session/session_settings.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <nlohmann/json.hpp>

#include "session/host_choice.h"
#include "session/host_names.h"

namespace virelo::session {
namespace {

using nlohmann::json;

constexpr auto kHosts = kHostNames;
constexpr std::array<const char*, 3> kBackends = {"corehid", "cgevent", "auto"};

template <std::size_t N>
bool oneOf(const std::string& value, const std::array<const char*, N>& allowed) {
  return std::find(allowed.begin(), allowed.end(), value) != allowed.end();
}

template <std::size_t N>
std::string listed(const std::array<const char*, N>& allowed) {
  std::string out;
  for (const char* name : allowed) out += (out.empty() ? "" : ", ") + std::string(name);
  return out;
}

// A configuration file is a few lines: anything larger, or nested deeper, is not one, and is
// refused before it is parsed (a deep nesting would otherwise be written out again, recursively,
// into the error message).
constexpr std::size_t kLargestFile = 65'536;
constexpr int kDeepestNesting = 16;
// How much of a wrong value an error message shows.
constexpr std::size_t kShownValue = 60;

bool exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

std::string shown(const json& value) {
  std::string text = value.dump();
  if (text.size() > kShownValue) text = text.substr(0, kShownValue) + "...";
  return text;
}

std::string fileText(const std::string& path) {
  try {
    return client::readBoundedFile(path, kLargestFile);
  } catch (const client::UnreadableFile& e) {
    throw ConfigError(path + ": " + e.what());
  }
}

// Whether arrays and objects nest deeper than kDeepestNesting anywhere in the text (brackets
// inside strings do not count).
bool nestsTooDeep(const std::string& text) {
  int depth = 0;
  bool inString = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (inString) {
      if (c == '\\') {
        ++i;
      } else if (c == '"') {
        inString = false;
      }
    } else if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      if (++depth > kDeepestNesting) return true;
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  return false;
}

template <std::size_t N>
std::string configValue(const std::string& path, const json& object, const std::string& key,
                        const std::array<const char*, N>& allowed) {
  const json& value = object.at(key);
  if (!value.is_string() || !oneOf(value.get<std::string>(), allowed)) {
    throw ConfigError(path + ": \"" + key + "\" must be one of " + listed(allowed) + ", not " +
                      shown(value));
  }
  return value.get<std::string>();
}

}  // namespace

std::optional<std::string> configFile(const client::EnvironmentLookup& environment,
                                      const std::string& systemConfigDir) {
  std::string user;
  if (const char* config = environment("XDG_CONFIG_HOME"); config && config[0] == '/') {
    user = config;
  } else if (const char* home = environment("HOME"); home && home[0] == '/') {
    user = std::string(home) + "/.config";
  }
  for (const std::string& dir : {user, systemConfigDir}) {
    if (dir.empty()) continue;
    std::string path = dir + "/virelo/config.json";
    if (exists(path)) return path;
  }
  return std::nullopt;
}

SessionSettings readConfig(const std::string& path, SessionSettings base) {
  const std::string text = fileText(path);
  if (nestsTooDeep(text)) {
    throw ConfigError(path + ": nests deeper than " + std::to_string(kDeepestNesting) + " levels");
  }
  json object = json::parse(text, nullptr, false);
  if (!object.is_object()) throw ConfigError(path + ": not a JSON object");
  for (const auto& [key, value] : object.items()) {
    if (key == "host") {
      base.host = configValue(path, object, key, kHosts);
      base.hostSource = path;
    } else if (key == "backend") {
      base.backend = configValue(path, object, key, kBackends);
    } else if (key == "layout") {
      if (!value.is_string() || value.get<std::string>().empty()) {
        throw ConfigError(path + ": \"layout\" must be a layout name such as \"de\", not " +
                          shown(value));
      }
      base.layout = value.get<std::string>();
    } else {
      throw ConfigError(path + ": unknown key \"" + key +
                        "\" (known: \"host\", \"backend\", \"layout\")");
    }
  }
  return base;
}

SessionSettings sessionSettings(const SessionOptions& options,
                                const client::EnvironmentLookup& environment) {
  SessionSettings settings;
  if (auto path = configFile(environment)) settings = readConfig(*path, settings);
  if (options.host) {
    if (!oneOf(*options.host, kHosts)) {
      throw InvalidOption("--host must be one of " + listed(kHosts));
    }
    settings.host = *options.host;
    settings.hostSource = "--host";
  }
  if (settings.hostSource.empty()) {
    auto notAsked = [](const char*) -> std::optional<bool> { return std::nullopt; };
    const HostChoice choice =
        chooseHost(desktopSigns(environment, options.busHasOwner ? options.busHasOwner : notAsked),
                   [](const std::string& host) { return oneOf(host, kHosts); });
    settings.host = choice.host;
    settings.hostSource = choice.reason;
    settings.hostFallback = choice.fallback;
  }
  if (options.backend) {
    if (!oneOf(*options.backend, kBackends)) {
      throw InvalidOption("--backend must be one of " + listed(kBackends));
    }
    settings.backend = *options.backend;
  }
  return settings;
}

}  // namespace virelo::session
