// "virelo steer": its command line, and running it.
//
//   virelo steer [--input pad|udp[:PORT]|stdin] [--listen ADDRESS] [--profile NAME] [--no-snap]
//                [--show] [--config FILE] [--virtual-pad FILE]
//   virelo steer --check [--config FILE]
//
// Exit status: 0 when steering ended (standard input closed, a signal), 2 for a wrong command line
// or a wrong profile (--check: the file, line and key are named), 1 for anything else.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/steer/pose_source.h"

namespace virelo::steer {

// A command line "virelo steer" cannot use.
class SteerUsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct SteerOptions {
  enum class Input { pad, udp, standardInput } input = Input::pad;
  int port = kDefaultPosePort;
  std::string listen = "127.0.0.1";
  std::optional<std::string> profile;
  bool snapping = true;
  bool show = false;
  bool check = false;
  // The configuration file; otherwise the one that applies.
  std::optional<std::string> config;
  // A file of lines that drive a virtual controller (pad_source.h).
  std::string virtualPad;
};

// The options after "steer". Throws SteerUsageError.
SteerOptions parseSteerArguments(const std::vector<std::string>& args);

// Steers until standard input ends (with --input stdin) or a signal (SIGINT, SIGTERM, SIGHUP)
// comes; returns the exit status. Throws ProfileError, the client's errors, std::runtime_error.
int runSteer(const SteerOptions& options);

// The whole verb: parses, runs, and says what went wrong on standard error; the exit status.
int steerMain(const std::vector<std::string>& args);

// For "virelo doctor": the game controllers that are plugged in, by name.
std::vector<std::string> gameControllersSeen();

}  // namespace virelo::steer
