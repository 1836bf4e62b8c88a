// What a session decides before and between its services: settings from the configuration file
// and its options, the host of the desktop session, the automatic backend, and the wait before a
// restart.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "session/backend_choice.h"
#include "session/host_choice.h"
#include "session/restart_policy.h"
#include "session/session_settings.h"

namespace virelo::session {
namespace {

using namespace std::chrono_literals;

class ConfigFile : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "vl-config-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    std::filesystem::create_directories(dir_ + "/virelo");
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string write(const std::string& text) {
    std::string path = dir_ + "/virelo/config.json";
    std::ofstream(path) << text;
    return path;
  }

  std::string dir_;
};

std::string configError(const std::string& path) {
  try {
    readConfig(path);
  } catch (const ConfigError& e) {
    return e.what();
  }
  return "no error";
}

TEST_F(ConfigFile, UnknownKeysAndWrongTypesNameTheFileAndTheKey) {
  std::string path = write(R"({"host":"sim","bakend":"corehid"})");
  EXPECT_EQ(configError(path),
            path + ": unknown key \"bakend\" (known: \"host\", \"backend\", \"layout\")");
  write(R"({"backend":3})");
  EXPECT_EQ(configError(path), path + ": \"backend\" must be one of corehid, cgevent, auto, not 3");
  write(R"(["host"])");
  EXPECT_EQ(configError(path), path + ": not a JSON object");
}

TEST_F(ConfigFile, OnlyABoundedFileOfShallowNestingIsParsed) {
  std::string path = write("{\"host\":\"sim\"}" + std::string(70'000, ' '));
  EXPECT_EQ(configError(path), path + ": larger than 65536 bytes");
  write("{\"host\":" + std::string(17, '[') + std::string(17, ']') + "}");
  EXPECT_EQ(configError(path), path + ": nests deeper than 16 levels");
  write(R"({"layout":"[[[[[[[[[[[[[[[[[[[[","host":"sim"})");  // brackets in a string do not nest
  EXPECT_EQ(readConfig(path).host, "sim");
}

TEST_F(ConfigFile, TheUserFileComesBeforeTheSystemOneAndTheOptionsWin) {
  write(R"({"host":"sim","backend":"cgevent"})");
  auto environment = [&](const char* name) -> const char* {
    return std::string(name) == "XDG_CONFIG_HOME" ? dir_.c_str() : nullptr;
  };
  EXPECT_EQ(configFile(environment, "/nonexistent"), dir_ + "/virelo/config.json");
  EXPECT_EQ(configFile([](const char*) -> const char* { return nullptr; }, dir_),
            dir_ + "/virelo/config.json");

  SessionOptions options;
  options.backend = "corehid";
  SessionSettings settings = readConfig(*configFile(environment, "/nonexistent"));
  EXPECT_EQ(settings.host, "sim");
  EXPECT_EQ(settings.backend, "cgevent");
  ::setenv("XDG_CONFIG_HOME", dir_.c_str(), 1);
  settings = sessionSettings(options, std::getenv);
  ::unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(settings.host, "sim");
  EXPECT_EQ(settings.backend, "corehid");
}

BackendProbes probes(bool uhid, std::optional<std::string> displayProblem) {
  return {[uhid] { return uhid; }, [displayProblem] { return displayProblem; }};
}

TEST(AutomaticBackend, PrefersTheDevicesThenTheXServerAndOtherwiseSaysWhy) {
  EXPECT_EQ(chooseBackend("linux", "auto", probes(true, std::nullopt)), "corehid");
  EXPECT_EQ(chooseBackend("linux", "auto", probes(false, std::nullopt)), "cgevent");
  try {
    chooseBackend("linux", "auto", probes(false, "no X server answers on :9"));
    FAIL() << "no backend can work, yet one was chosen";
  } catch (const NoBackend& e) {
    EXPECT_EQ(std::string(e.what()),
              "no backend can work: /dev/uhid does not open read-write for this user, and no X "
              "server answers on :9; run `virelo doctor`");
  }
  EXPECT_EQ(chooseBackend("sim", "auto", probes(false, "none")), "corehid");
  // A compositor's host posts through the compositor, with or without /dev/uhid.
  EXPECT_EQ(chooseBackend("wlroots", "auto", probes(true, "none")), "cgevent");
  EXPECT_EQ(chooseBackend("gnome", "auto", probes(false, "none")), "cgevent");
  EXPECT_EQ(chooseBackend("linux", "cgevent", probes(true, "none")), "cgevent");
}

bool allBuilt(const std::string&) {
  return true;
}

DesktopSigns wayland(const std::string& desktop, std::optional<bool> mutter = std::nullopt,
                     std::optional<bool> kwin = std::nullopt, const std::string& sway = "") {
  return {"wayland", "wayland-0", ":0", desktop, sway, mutter, kwin};
}

TEST(SessionHost, AWaylandSessionRunsItsCompositorsHost) {
  EXPECT_EQ(chooseHost(wayland("GNOME", true, false), allBuilt).host, "gnome");
  EXPECT_EQ(chooseHost(wayland("ubuntu:GNOME"), allBuilt).host, "gnome");  // the bus not asked
  EXPECT_EQ(chooseHost(wayland("KDE", false, true), allBuilt).host, "kde");
  EXPECT_EQ(chooseHost(wayland("", false, true), allBuilt).host, "kde");  // KWin on the bus
  EXPECT_EQ(chooseHost(wayland("sway", false, false), allBuilt).host, "wlroots");
  HostChoice sway = chooseHost(wayland("", false, false, "/run/user/1000/sway-ipc.sock"), allBuilt);
  EXPECT_EQ(sway.host, "wlroots");
  EXPECT_EQ(sway.reason, "a Wayland session of a wlroots compositor: sway's socket is set");
  EXPECT_FALSE(sway.fallback);
  // No type: the Wayland display tells.
  EXPECT_EQ(chooseHost({"", "wayland-0", "", "KDE", "", std::nullopt, std::nullopt}, allBuilt).host,
            "kde");
}

TEST(SessionHost, X11AndCompositorsWithoutAHostRunTheX11Host) {
  HostChoice x11 = chooseHost({"x11", "wayland-0", ":0", "GNOME", "", true, false}, allBuilt);
  EXPECT_EQ(x11.host, "linux");
  EXPECT_EQ(x11.reason, "the session is not Wayland ($XDG_SESSION_TYPE is x11)");
  EXPECT_FALSE(x11.fallback);
  EXPECT_EQ(chooseHost({"", "", ":1", "", "", std::nullopt, std::nullopt}, allBuilt).reason,
            "no Wayland display, and the X server :1");

  HostChoice unknown = chooseHost(wayland("Weston", false, false), allBuilt);
  EXPECT_EQ(unknown.host, "linux");
  EXPECT_TRUE(unknown.fallback);
  EXPECT_EQ(unknown.reason,
            "a Wayland session of a compositor that no host serves (the desktop is Weston): the "
            "X11 host, whose window-server events reach only XWayland applications");
  // GNOME's desktop without the remote desktop service cannot be posted to.
  EXPECT_NE(chooseHost(wayland("GNOME", false, false), allBuilt)
                .reason.find("org.gnome.Mutter.RemoteDesktop is not on the session bus"),
            std::string::npos);
  HostChoice unbuilt =
      chooseHost(wayland("KDE"), [](const std::string& host) { return host != "kde"; });
  EXPECT_EQ(unbuilt.host, "linux");
  EXPECT_NE(unbuilt.reason.find("but this build has no kde host"), std::string::npos);
}

TEST(SessionHost, TheSessionBusIsAskedOnlyInAWaylandSession) {
  std::vector<std::string> asked;
  auto bus = [&](const char* name) -> std::optional<bool> {
    asked.push_back(name);
    return std::string(name) == "org.kde.KWin";
  };
  std::map<std::string, const char*> variables = {{"XDG_SESSION_TYPE", "x11"}, {"DISPLAY", ":0"}};
  auto environment = [&](const char* name) -> const char* {
    auto found = variables.find(name);
    return found == variables.end() ? nullptr : found->second;
  };
  EXPECT_EQ(desktopSigns(environment, bus).display, ":0");
  EXPECT_TRUE(asked.empty());
  variables = {{"WAYLAND_DISPLAY", "wayland-0"}};
  DesktopSigns signs = desktopSigns(environment, bus);
  EXPECT_EQ(asked, (std::vector<std::string>{"org.gnome.Mutter.RemoteDesktop", "org.kde.KWin"}));
  EXPECT_EQ(chooseHost(signs, allBuilt).host, "kde");
}

TEST(RestartPolicy, WaitsDoubleUpToTheLongestResetAfterAHealthyRunAndGiveUp) {
  RestartPolicy policy;
  std::vector<long> waits;
  while (auto wait = policy.afterEnd(100ms)) waits.push_back(wait->count());
  EXPECT_EQ(waits, (std::vector<long>{500, 1000, 2000, 4000, 8000, 16000, 30000, 30000, 30000}));

  RestartPolicy healthy;
  healthy.afterEnd(0ms);
  healthy.afterEnd(0ms);
  EXPECT_EQ(healthy.afterEnd(RestartPolicy::kHealthyRun), RestartPolicy::kFirstWait);
}

}  // namespace
}  // namespace virelo::session
