#include "session/session_run.h"

#include <poll.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <memory>

#include "session/backend_choice.h"
#include "session/restart_policy.h"
#include "session/session_settings.h"
#include "session/status_words.h"
#include "session/stop_signals.h"
#include "session/system_notify.h"
#include "virelo/client/control_server.h"
#include "virelo/client/errors.h"
#include "virelo/client/launcher.h"
#include "virelo/client/session.h"

namespace virelo::session {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

void log(const std::string& line) {
  std::cerr << "virelo session: " << line << std::endl;
}

// "0.5 s", "30 s": the waits are whole tenths of a second.
std::string seconds(std::chrono::milliseconds d) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f s", static_cast<double>(d.count()) / 1000.0);
  std::string out = text;
  if (out.ends_with(".0 s")) out.erase(out.size() - 4, 2);
  return out;
}

std::string endReason(const client::Launcher& launcher, int status, const std::string& host) {
  if (status == 3) return "its watchdog found the main loop stalled (exit status 3)";
  if (status > 128) return "killed by signal " + std::to_string(status - 128);
  if (const auto& failure = launcher.lastFailure(); failure && failure->error) {
    return describeError(*failure->error, host);
  }
  return "exit status " + std::to_string(status);
}

class Session {
 public:
  Session(SessionSettings settings, std::string service, std::string backend, std::string directory)
      : settings_(std::move(settings)),
        service_(std::move(service)),
        backend_(std::move(backend)),
        directory_(std::move(directory)),
        started_(std::time(nullptr)) {}

  int run() {
    log("starting: host " + settings_.host + " (" + settings_.hostSource + "), backend " +
        backend_ + ", socket directory " + directory_);
    startSearches();
    for (;;) {
      auto ran = runService();
      if (!ran) return stop();
      auto wait = policy_.afterEnd(*ran);
      if (!wait) {
        log("giving up after " + std::to_string(policy_.failuresInARow()) +
            " failed starts in a row");
        notifyStatus("gave up after repeated failures");
        return 1;
      }
      log("restarting the service in " + seconds(*wait));
      if (signals_.wait(*wait)) return stop();
      ++restarts_;
    }
  }

 private:
  // Runs one service to its end. Returns how long it ran, or nullopt when a stop was asked for.
  std::optional<std::chrono::milliseconds> runService() {
    client::Launcher launcher(launchOptions());
    auto begin = Clock::now();
    client::ServiceEvent first;
    try {
      first = launcher.start();
    } catch (const client::ServiceRefused& e) {
      log("the service refused to start: " + describeError(e.code(), settings_.host));
      return 0ms;
    } catch (const client::Error& e) {
      log(std::string("the service did not start: ") + e.what());
      return 0ms;
    }
    publish(launcher);
    report(first);
    for (;;) {
      // Asleep until the service says something or a stop is asked for; once its output has
      // ended, only until it has exited.
      pollfd fds[2] = {{launcher.eventFd(), POLLIN, 0}, {signals_.fd(), POLLIN, 0}};
      ::poll(launcher.outputEnded() ? fds + 1 : fds, launcher.outputEnded() ? 1 : 2,
             launcher.outputEnded() ? 50 : -1);
      while (auto event = launcher.nextEvent(0ms)) report(*event);
      if (signals_.pending()) {
        stopService(launcher);
        return std::nullopt;
      }
      if (launcher.outputEnded() && !launcher.running()) break;
    }
    int status = launcher.waitExit(5s).value_or(-1);
    while (auto event = launcher.nextEvent(0ms)) report(*event);
    std::filesystem::remove(directory_ + "/session.json");
    log("the service ended without being asked: " + endReason(launcher, status, settings_.host));
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - begin);
  }

  // The server of control searches, on a thread of its own; started after the stop signals are
  // blocked, so that they reach the main loop only. Without it clients search themselves.
  void startSearches() {
    try {
      searches_ =
          std::make_unique<client::ControlSearchServer>(directory_ + "/controls.sock", std::getenv);
      log("answering control searches at " + searches_->path());
    } catch (const client::Error& e) {
      log(std::string("answering no control searches: ") + e.what());
    }
  }

  client::LaunchOptions launchOptions() const {
    client::LaunchOptions options;
    options.servicePath = service_;
    options.backend = backend_;
    options.environment["VL_HOST"] = settings_.host;
    options.directoryParent = directory_;
    return options;
  }

  void publish(client::Launcher& launcher) {
    client::SessionInfo info;
    info.socket = launcher.socketPath();
    info.token = launcher.token();
    info.host = settings_.host;
    info.backend = backend_;
    info.pid = launcher.pid();
    info.sessionPid = ::getpid();
    info.started = started_;
    info.restarts = restarts_;
    if (searches_) info.controls = searches_->path();
    client::writeSession(directory_, info);
    log("service started (pid " + std::to_string(info.pid) + ")");
  }

  void report(const client::ServiceEvent& event) {
    if (event.type == "fn_state") {
      // The service repeats the Fn state whenever its readiness is reported; log changes only.
      if (event.held != fnHeld_) log(describeEvent(event, settings_.host));
      fnHeld_ = event.held;
      return;
    }
    std::string words = describeEvent(event, settings_.host);
    log(words);
    if (!notifiedReady_) {
      notifyReady(words);
      notifiedReady_ = true;
    } else {
      notifyStatus(words);
    }
  }

  void stopService(client::Launcher& launcher) {
    log("stopping");
    notifyStopping();
    int status = launcher.stop();
    while (auto event = launcher.nextEvent(0ms)) report(*event);
    log("the service stopped (exit status " + std::to_string(status) + ")");
  }

  int stop() {
    std::error_code ignored;
    std::filesystem::remove(directory_ + "/session.json", ignored);
    log("stopped");
    return 0;
  }

  SessionSettings settings_;
  std::string service_;
  std::string backend_;
  std::string directory_;
  std::int64_t started_;
  int restarts_ = 0;
  bool notifiedReady_ = false;
  std::optional<bool> fnHeld_ = false;  // the service starts with Fn released
  RestartPolicy policy_;
  StopSignals signals_;
  std::unique_ptr<client::ControlSearchServer> searches_;
};

}  // namespace

int runSession(const SessionOptions& options) {
  if (::geteuid() == 0) {
    throw SessionError(
        "refusing to run as root: the session belongs to the desktop user (run it as that user, "
        "or `systemctl --user start virelo` in their session)");
  }
  SessionSettings settings = sessionSettings(options, std::getenv);
  std::string directory = client::prepareSessionDirectory(std::getenv);
  client::SessionLock lock(directory);
  client::removeLeftovers(directory);
  std::string backend = chooseBackend(settings.host, settings.backend, options.probes);
  return Session(settings, options.service, backend, directory).run();
}

}  // namespace virelo::session
