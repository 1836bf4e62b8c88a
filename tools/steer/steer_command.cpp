#include "tools/steer/steer_command.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <iostream>
#include <memory>

#include "tools/steer/control_steps.h"
#include "tools/steer/focused_application.h"
#include "tools/steer/line_source.h"
#include "tools/steer/pad_source.h"
#include "tools/steer/steer_loop.h"
#include "virelo/client/client.h"
#include "virelo/client/errors.h"

namespace virelo::steer {
namespace {

std::atomic<bool> stopRequested{false};

void requestStop(int) {
  stopRequested.store(true);
}

void stopOnSignals() {
  struct sigaction action {};
  action.sa_handler = requestStop;
  sigemptyset(&action.sa_mask);
  for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) ::sigaction(sig, &action, nullptr);
  ::signal(SIGPIPE, SIG_IGN);
}

int portOf(const std::string& text) {
  char* end = nullptr;
  const long port = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || port < 0 || port > 65535) {
    throw SteerUsageError("not a UDP port: \"" + text + "\"");
  }
  return static_cast<int>(port);
}

void parseInput(const std::string& value, SteerOptions& options) {
  if (value == "pad") {
    options.input = SteerOptions::Input::pad;
  } else if (value == "stdin") {
    options.input = SteerOptions::Input::standardInput;
  } else if (value == "udp" || value.rfind("udp:", 0) == 0) {
    options.input = SteerOptions::Input::udp;
    if (value.size() > 3) options.port = portOf(value.substr(4));
  } else {
    throw SteerUsageError("--input is pad, udp[:PORT] or stdin, not \"" + value + "\"");
  }
}

// The profiles, and the file they came from ("" for none: the built-in default alone).
std::pair<Profiles, std::string> loadProfiles(const SteerOptions& options) {
  const std::optional<std::string> path = options.config ? options.config : configPath();
  Profiles profiles = path ? readProfiles(*path) : parseProfiles("{}", "");
  if (options.profile) profiles.named(*options.profile);
  return {std::move(profiles), path.value_or("")};
}

std::unique_ptr<InputSource> openSource(const SteerOptions& options) {
  switch (options.input) {
    case SteerOptions::Input::udp:
      return std::make_unique<PoseSource>(options.listen, options.port);
    case SteerOptions::Input::standardInput:
      return std::make_unique<LineSource>(STDIN_FILENO);
    case SteerOptions::Input::pad:
      break;
  }
  return std::make_unique<PadSource>(options.virtualPad);
}

}  // namespace

SteerOptions parseSteerArguments(const std::vector<std::string>& args) {
  SteerOptions options;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const auto value = [&]() -> const std::string& {
      if (i + 1 >= args.size()) throw SteerUsageError(arg + " needs a value");
      return args[++i];
    };
    if (arg == "--input") {
      parseInput(value(), options);
    } else if (arg == "--listen") {
      options.listen = value();
    } else if (arg == "--profile") {
      options.profile = value();
    } else if (arg == "--config") {
      options.config = value();
    } else if (arg == "--virtual-pad") {
      options.virtualPad = value();
    } else if (arg == "--no-snap") {
      options.snapping = false;
    } else if (arg == "--show") {
      options.show = true;
    } else if (arg == "--check") {
      options.check = true;
    } else {
      throw SteerUsageError("steer: unknown option \"" + arg + "\"");
    }
  }
  return options;
}

int runSteer(const SteerOptions& options) {
  const auto [profiles, path] = loadProfiles(options);
  if (options.check) {
    std::cerr << "virelo steer: " << (path.empty() ? "no configuration file" : path) << ": "
              << profiles.byName.size() << " steering profile"
              << (profiles.byName.size() == 1 ? "" : "s") << ", all usable\n";
    return 0;
  }
  stopOnSignals();
  std::unique_ptr<InputSource> source = openSource(options);
  client::Client client(client::findSession);
  LoopOptions loop;
  loop.profile = options.profile;
  loop.snapping = options.snapping;
  loop.show = options.show ? &std::cout : nullptr;
  loop.stepControl = controlStepper(client);
  auto focused = std::make_shared<FocusedApplication>();
  loop.application = [focused] { return focused->current(); };
  SteerLoop(client, *source, profiles, loop).run(stopRequested);
  return 0;
}

int steerMain(const std::vector<std::string>& args) {
  try {
    return runSteer(parseSteerArguments(args));
  } catch (const SteerUsageError& e) {
    std::cerr << "virelo: " << e.what() << "\n(see virelo --help)\n";
    return 2;
  } catch (const ProfileError& e) {
    std::cerr << "virelo steer: " << e.what() << "\n";
    return 2;
  } catch (const std::exception& e) {
    std::cerr << "virelo steer: " << e.what() << "\n";
    return 1;
  }
}

std::vector<std::string> gameControllersSeen() {
  return controllersSeen();
}

}  // namespace virelo::steer
