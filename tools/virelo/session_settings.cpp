#include "tools/virelo/session_settings.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <nlohmann/json.hpp>

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

// The file's text. Opening does not wait for a writer (a FIFO), and only a regular file of at
// most kLargestFile bytes is read.
std::string fileText(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) throw ConfigError(path + ": cannot be read: " + std::strerror(errno));
  struct stat st {};
  std::string text;
  std::string problem;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    problem = "not a regular file";
  } else {
    char buffer[4096];
    ssize_t got = 0;
    while (text.size() <= kLargestFile && (got = ::read(fd, buffer, sizeof buffer)) != 0) {
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) {
        problem = std::string("cannot be read: ") + std::strerror(errno);
        break;
      }
      text.append(buffer, static_cast<std::size_t>(got));
    }
    if (problem.empty() && text.size() > kLargestFile) {
      problem = "larger than " + std::to_string(kLargestFile) + " bytes";
    }
  }
  ::close(fd);
  if (!problem.empty()) throw ConfigError(path + ": " + problem);
  return text;
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
