#include "tools/virelo/start_command.h"

#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <iostream>

#include "session/stop_signals.h"
#include "tools/common/service_binary.h"
#include "virelo/client/launcher.h"

namespace virelo::tools {
namespace {

using namespace std::chrono_literals;

std::string shellQuoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'') {
      out += "'\\''";
    } else {
      out += c;
    }
  }
  return out + "'";
}

// Prints every event the service has written so far; false once its output has ended.
void printEvents(client::Launcher& launcher) {
  while (auto event = launcher.nextEvent(0ms)) std::cout << event->line << "\n";
  std::cout.flush();
}

}  // namespace

int runStart(const ToolArguments& args) {
  if (!args.operands.empty()) throw UsageError("\"start\" takes no arguments");
  client::LaunchOptions options;
  options.servicePath = args.service.value_or(serviceBinary());
  options.backend = args.backend.value_or("corehid");
  options.environment = args.environment;
  if (args.trace) options.environment["VL_SIM_TRACE"] = "{dir}/trace";
  options.user = args.user;
  if (!options.user && ::geteuid() == 0) options.user = "nobody";

  // Ctrl-C, SIGTERM and SIGHUP stop the service in order.
  session::StopSignals signals;
  client::Launcher launcher(options);
  client::ServiceEvent first = launcher.start();
  std::cout << "export VIRELO_SOCKET=" << shellQuoted(launcher.socketPath()) << "\n"
            << "export VIRELO_TOKEN=" << shellQuoted(launcher.token()) << "\n";
  if (args.trace) {
    std::cout << "export VIRELO_TRACE=" << shellQuoted(launcher.directory() + "/trace") << "\n";
  }
  std::cout << first.line << "\n";
  std::cout.flush();
  std::cerr << "virelo: service running (pid " << launcher.pid() << ")"
            << (options.user && ::geteuid() == 0 ? " as " + *options.user : std::string())
            << "; press Ctrl-C to stop it\n";

  for (;;) {
    pollfd fds[2] = {{launcher.eventFd(), POLLIN, 0}, {signals.fd(), POLLIN, 0}};
    if (::poll(fds, 2, 500) < 0 && errno != EINTR) break;
    printEvents(launcher);
    if (fds[1].revents & POLLIN) {
      signalfd_siginfo info{};
      [[maybe_unused]] ssize_t n = ::read(signals.fd(), &info, sizeof(info));
      std::cerr << "virelo: stopping the service\n";
      int status = launcher.stop();
      printEvents(launcher);
      std::cerr << "virelo: the service stopped with exit status " << status << "\n";
      return status;
    }
    if (!launcher.running()) break;
  }
  int status = launcher.waitExit(5s).value_or(1);
  printEvents(launcher);
  std::cerr << "virelo: the service ended with exit status " << status << "\n";
  return status;
}

}  // namespace virelo::tools
