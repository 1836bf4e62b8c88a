#include "tools/virelo/session_settings.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

namespace virelo::tools {
namespace {

using nlohmann::json;

constexpr std::array<const char*, 3> kHosts = {"sim", "uhid", "linux"};
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

bool exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

template <std::size_t N>
std::string configValue(const std::string& path, const json& object, const std::string& key,
                        const std::array<const char*, N>& allowed) {
  const json& value = object.at(key);
  if (!value.is_string() || !oneOf(value.get<std::string>(), allowed)) {
    throw ConfigError(path + ": \"" + key + "\" must be one of " + listed(allowed) + ", not " +
                      value.dump());
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
  std::ifstream in(path);
  if (!in) throw ConfigError(path + ": cannot be read");
  std::stringstream text;
  text << in.rdbuf();
  json object = json::parse(text.str(), nullptr, false);
  if (!object.is_object()) throw ConfigError(path + ": not a JSON object");
  for (const auto& [key, value] : object.items()) {
    if (key == "host") {
      base.host = configValue(path, object, key, kHosts);
    } else if (key == "backend") {
      base.backend = configValue(path, object, key, kBackends);
    } else if (key == "layout") {
      if (!value.is_string() || value.get<std::string>().empty()) {
        throw ConfigError(path + ": \"layout\" must be a layout name such as \"de\", not " +
                          value.dump());
      }
      base.layout = value.get<std::string>();
    } else {
      throw ConfigError(path + ": unknown key \"" + key +
                        "\" (known: \"host\", \"backend\", \"layout\")");
    }
  }
  return base;
}

SessionSettings sessionSettings(const ToolArguments& args,
                                const client::EnvironmentLookup& environment) {
  SessionSettings settings;
  if (auto path = configFile(environment)) settings = readConfig(*path, settings);
  if (args.host) {
    if (!oneOf(*args.host, kHosts)) throw UsageError("--host must be one of " + listed(kHosts));
    settings.host = *args.host;
  }
  if (args.backend) {
    if (!oneOf(*args.backend, kBackends)) {
      throw UsageError("--backend must be one of " + listed(kBackends));
    }
    settings.backend = *args.backend;
  }
  settings.service = args.service;
  return settings;
}

}  // namespace virelo::tools
