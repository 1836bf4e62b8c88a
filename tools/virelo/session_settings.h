// What a session runs: the host, the backend and the service binary, from the command line and
// the configuration file.
//
// The configuration file is $XDG_CONFIG_HOME/virelo/config.json (~/.config when that is unset),
// else /etc/xdg/virelo/config.json; only the first that exists is read. It is one JSON object
// with the optional string keys "host" ("sim", "uhid", "linux"), "backend" ("corehid",
// "cgevent", "auto") and "layout" (the keyboard layout of the input commands when the X server
// does not say, "LAYOUT[(VARIANT)]"). The command line wins over the file. Only a regular file
// of at most 64 KiB whose arrays and objects nest at most 16 levels deep is read; anything else
// is a ConfigError (a FIFO is not waited for).
#pragma once

#include <optional>
#include <stdexcept>
#include <string>

#include "tools/virelo/tool_arguments.h"
#include "virelo/client/session.h"

namespace virelo::tools {

// A configuration file that cannot be used; the message names the file and the key.
class ConfigError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct SessionSettings {
  std::string host = "linux";
  std::string backend = "auto";
  std::optional<std::string> service;
  std::optional<std::string> layout;
};

// The configuration file that applies, or nullopt when there is none. `systemConfigDir` is the
// system-wide directory (/etc/xdg).
std::optional<std::string> configFile(const client::EnvironmentLookup& environment,
                                      const std::string& systemConfigDir = "/etc/xdg");

// The settings of the file applied over `base`. Throws ConfigError.
SessionSettings readConfig(const std::string& path, SessionSettings base = {});

// The defaults, then the configuration file, then the command line. Throws ConfigError, and
// UsageError for a wrong value on the command line.
SessionSettings sessionSettings(const ToolArguments& args,
                                const client::EnvironmentLookup& environment);

}  // namespace virelo::tools
