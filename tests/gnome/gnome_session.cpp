#include "tests/gnome/gnome_session.h"

#include <signal.h>

#include <deque>
#include <fstream>
#include <stdexcept>

#include "tests/support/service_user.h"

#ifndef VIRELO_GNOME_SESSION_SCRIPT
#error "VIRELO_GNOME_SESSION_SCRIPT must name tests/gnome/gnome_session.sh"
#endif

namespace virelo::test {

std::vector<std::string> GnomeSession::launcher() {
  if (!ServiceUser::privileged()) return {};
  return {"setpriv", "--reuid=" + std::to_string(ServiceUser::uid()),
          "--regid=" + std::to_string(ServiceUser::gid()), "--clear-groups"};
}

std::string GnomeSession::compositorLog() const {
  std::ifstream in(dir_.path() + "/compositor.log");
  std::deque<std::string> last;
  for (std::string line; std::getline(in, line);) {
    last.push_back(line);
    if (last.size() > 20) last.pop_front();
  }
  std::string text;
  for (const auto& line : last) text += line + "\n";
  return text;
}

void GnomeSession::stopCompositor() {
  // At once, as in a crash. The session runs as the service user, as this process does by now
  // (or as root).
  if (compositor_ > 0) ::kill(compositor_, SIGKILL);
}

std::string GnomeSession::missing(Compositor compositor) {
  const char* program = compositor == Compositor::shell ? "gnome-shell" : "mutter";
  for (const char* needed : {program, "pipewire", "wireplumber", "dbus-daemon", "busctl"}) {
    if (!programExists(needed)) {
      return std::string(needed) + " is not installed (tools/install-deps tests)";
    }
  }
  if (ServiceUser::privileged() && !programExists("setpriv")) return "setpriv is not installed";
  return "";
}

GnomeSession::GnomeSession(Compositor compositor) {
  ChildOptions options;
  options.argv = launcher();
  options.argv.insert(options.argv.end(),
                      {VIRELO_GNOME_SESSION_SCRIPT, dir_.path(),
                       compositor == Compositor::shell ? "gnome-shell" : "mutter"});
  options.readOutput = true;
  process_.emplace(options);
  environment_ = {{"XDG_RUNTIME_DIR", dir_.path()}};
  while (auto line = process_->readLine(20s)) {
    if (*line == "ready") return;
    const auto equals = line->find('=');
    if (equals == std::string::npos) continue;
    const std::string name = line->substr(0, equals);
    const std::string value = line->substr(equals + 1);
    if (name == "COMPOSITOR_PID") {
      compositor_ = static_cast<pid_t>(std::stol(value));
    } else {
      environment_[name] = value;
    }
  }
  throw std::runtime_error("the GNOME session did not start");
}

}  // namespace virelo::test
