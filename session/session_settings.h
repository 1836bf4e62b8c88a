// What a session runs: the host and the backend, from its options and the configuration file; and
// the keyboard layout that the input commands take from the same file.
//
// The configuration file is $XDG_CONFIG_HOME/virelo/config.json (~/.config when that is unset),
// else /etc/xdg/virelo/config.json; only the first that exists is read. It is one JSON object
// with the optional string keys "host" (a host of this build, host_names.h), "backend" ("corehid",
// "cgevent", "auto") and "layout" (the keyboard layout of the input commands when the X server
// does not say, "LAYOUT[(VARIANT)]"). The command line wins over the file. Only a regular file
// of at most 64 KiB whose arrays and objects nest at most 16 levels deep is read; anything else
// is a ConfigError (a FIFO is not waited for).
#pragma once

#include <optional>
#include <stdexcept>
#include <string>

#include "session/session_options.h"
#include "virelo/client/session.h"

namespace virelo::session {

// A configuration file that cannot be used; the message names the file and the key.
class ConfigError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct SessionSettings {
  std::string host = "linux";
  std::string backend = "auto";
  std::optional<std::string> layout;
  // Where the host came from: "--host", the configuration file's path, or the desktop session's
  // signs in words (host_choice.h) when neither names one; empty until sessionSettings() chose.
  std::string hostSource;
  // The host was chosen from a Wayland session that no host of this build serves.
  bool hostFallback = false;
};

// The configuration file that applies, or nullopt when there is none. `systemConfigDir` is the
// system-wide directory (/etc/xdg).
std::optional<std::string> configFile(const client::EnvironmentLookup& environment,
                                      const std::string& systemConfigDir = "/etc/xdg");

// The settings of the file applied over `base`. Throws ConfigError.
SessionSettings readConfig(const std::string& path, SessionSettings base = {});

// The defaults, then the configuration file, then the options; a host that neither names is the
// desktop session's (chooseHost over the environment's signs and options.busHasOwner). Throws
// ConfigError, and InvalidOption for a host or backend that the options name wrongly.
SessionSettings sessionSettings(const SessionOptions& options,
                                const client::EnvironmentLookup& environment);

}  // namespace virelo::session
