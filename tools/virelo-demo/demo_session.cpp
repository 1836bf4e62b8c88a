#include "tools/virelo-demo/demo_session.h"

#include <unistd.h>

#include <fstream>
#include <memory>
#include <thread>

#include "tools/common/user_switch.h"
#include "tools/virelo-demo/snap_demo.h"
#include "virelo/client/client.h"
#include "virelo/client/keys.h"
#include "virelo/client/launcher.h"
#include "virelo/client/layouts.h"
#include "virelo/client/motion.h"

namespace virelo::tools {
namespace {

using namespace std::chrono_literals;
constexpr const char* kServiceUser = "nobody";

std::vector<nlohmann::json> readTrace(const std::string& path) {
  std::vector<nlohmann::json> events;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) {
    auto event = nlohmann::json::parse(line, nullptr, false);
    if (event.is_object()) events.push_back(std::move(event));
  }
  return events;
}

// Connects as the service's user: the service accepts only clients of its own user.
std::unique_ptr<client::Client> connectAs(const std::string& socketPath, bool asServiceUser) {
  if (!asServiceUser) return std::make_unique<client::Client>(socketPath);
  setEffective(lookUpUser(kServiceUser));
  std::unique_ptr<client::Client> client;
  try {
    client = std::make_unique<client::Client>(socketPath);
  } catch (...) {
    setEffective({0, 0});
    throw;
  }
  setEffective({0, 0});
  return client;
}

void script(client::Client& client, std::ostream& log) {
  log << "  type \"Hi!\"\n";
  client::typeText(client, "Hi!");

  log << "  chord ctrl+shift+a\n";
  client::Chord chord = client::parseChord("ctrl+shift+a");
  client.pressModifiers(chord.modifiers);
  client.keyboard(chord.modifiers, chord.keys);
  client.keyboard(chord.modifiers, {});
  client.releaseModifiers(chord.modifiers);

  log << "  click (left)\n";
  client.pressButtons(client::button::primary);
  client.releaseButtons(client::button::primary);

  log << "  double-click (left)\n";
  for (int i = 0; i < 2; ++i) {
    client.pressButtons(client::button::primary);
    client.releaseButtons(client::button::primary);
  }

  log << "  move by (+40, -25)\n";
  client.move(40, -25);

  log << "  scroll 3 steps down\n";
  client.wheel(-3);

  log << "  media key volume-up\n";
  client.pressMedia(client::media::volumeUp);
  client.releaseMedia(client::media::volumeUp);

  log << "  continuous motion of (+5, +2) per 10 ms for 80 ms, samples every 8 ms\n";
  client::MotionStream stream(client);
  stream.start(5, 2);
  std::this_thread::sleep_for(80ms);
  stream.stop();
  log << "    (" << stream.samplesSent() << " samples sent, " << stream.staleSamples()
      << " stale)\n";
}

}  // namespace

DemoResult runDemoSession(const std::string& servicePath, const DemoTarget& target,
                          std::ostream& log) {
  const bool root = ::geteuid() == 0;
  client::LaunchOptions options;
  options.servicePath = servicePath;
  if (target.x11()) {
    options.backend = "cgevent";
    options.environment["VL_HOST"] = "linux";
    options.environment["DISPLAY"] = target.display;
  } else {
    options.backend = "corehid";
    options.environment["VL_SIM_TRACE"] = "{dir}/trace";
  }
  if (root) options.user = kServiceUser;

  client::Launcher launcher(options);
  log << "Starting " << servicePath << (root ? " as nobody" : "") << " with backend "
      << options.backend << (target.x11() ? " on X display " + target.display : std::string())
      << "\n"
      << "  private directory " << launcher.directory() << " (mode 0700)\n";
  DemoResult result;
  result.readyEvent = launcher.start().line;
  log << "  socket " << launcher.socketPath() << ", token " << launcher.token().substr(0, 8)
      << "... (64 hex digits from getrandom)\n"
      << "  status event: " << result.readyEvent << "\n\n";

  {
    auto client = connectAs(launcher.socketPath(), root);
    client::Status status = client->hello(launcher.token());
    log << "Client session (hello: ready=" << (status.ready ? "true" : "false")
        << ", backend=" << status.backend << ")\n";
    script(*client, log);
    if (!target.snapButton.empty()) {
      log << "\nSnapping onto a real button (the GTK application on the accessibility bus)\n";
      snapOntoButton(*client, target.display, parseButtonFrame(target.snapButton), log);
    }
  }  // the client resets anything it still holds and disconnects

  log << "\nStopping the service by closing its standard input\n";
  result.exitStatus = launcher.stop();
  log << "  exit status " << result.exitStatus << "\n\n";
  if (!target.x11()) result.trace = readTrace(launcher.directory() + "/trace");
  return result;
}

}  // namespace virelo::tools
