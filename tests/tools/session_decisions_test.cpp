// What a session decides before and between its services: settings from the configuration file
// and the command line, the automatic backend, and the wait before a restart; and the keyboard
// layout that the input commands choose from the same file and the environment.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <future>
#include <map>

#include "tools/virelo/backend_choice.h"
#include "tools/virelo/layout_choice.h"
#include "tools/virelo/restart_policy.h"
#include "tools/virelo/session_settings.h"

namespace virelo::tools {
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

TEST_F(ConfigFile, TheLayoutIsTheOptionsElseTheServersElseTheVariableElseTheFiles) {
  // No X server here: $DISPLAY is left out, so the order below it decides.
  std::map<std::string, std::string> variables = {{"XDG_CONFIG_HOME", dir_}};
  auto environment = [&](const char* name) -> const char* {
    auto found = variables.find(name);
    return found == variables.end() ? nullptr : found->second.c_str();
  };
  auto chosen = [&](std::optional<std::string> option = std::nullopt) {
    ToolArguments args;
    args.layout = std::move(option);
    LayoutChoice choice = chooseLayout(args, environment);
    return choice.layout->description() + " from " + choice.source;
  };
  EXPECT_EQ(chosen(), "us from the default");
  std::string path = write(R"j({"layout":"fr(azerty)"})j");
  EXPECT_EQ(chosen(), "fr(azerty) from " + path);
  variables["VIRELO_LAYOUT"] = "de";
  EXPECT_EQ(chosen(), "de from $VIRELO_LAYOUT");
  EXPECT_EQ(chosen("ru"), "ru from --layout");
  variables["VIRELO_LAYOUT"] = "xx";
  try {
    chosen();
    ADD_FAILURE() << "an unknown layout was taken";
  } catch (const UsageError& e) {
    EXPECT_NE(std::string(e.what()).find("$VIRELO_LAYOUT"), std::string::npos) << e.what();
  }
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

TEST_F(ConfigFile, OnlyABoundedRegularFileIsRead) {
  std::string path = write("{\"host\":\"sim\"}" + std::string(70'000, ' '));
  EXPECT_EQ(configError(path), path + ": larger than 65536 bytes");
  write("{\"host\":" + std::string(17, '[') + std::string(17, ']') + "}");
  EXPECT_EQ(configError(path), path + ": nests deeper than 16 levels");
  write(R"({"layout":"[[[[[[[[[[[[[[[[[[[[","host":"sim"})");  // brackets in a string do not nest
  EXPECT_EQ(readConfig(path).host, "sim");
  std::filesystem::remove(path);
  std::filesystem::create_symlink("/dev/null", path);
  EXPECT_EQ(configError(path), path + ": not a regular file");

  // A FIFO without a writer: reading must not wait for one. Should it wait, a writer lets it go.
  std::filesystem::remove(path);
  ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
  auto error = std::async(std::launch::async, [&] { return configError(path); });
  const bool answered = error.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
  if (!answered) {
    int writer = ::open(path.c_str(), O_WRONLY | O_NONBLOCK);
    ::close(writer);
  }
  EXPECT_TRUE(answered) << "reading a FIFO waited for a writer";
  EXPECT_EQ(error.get(), path + ": not a regular file");
}

TEST_F(ConfigFile, TheUserFileComesBeforeTheSystemOneAndTheCommandLineWins) {
  write(R"({"host":"sim","backend":"cgevent"})");
  auto environment = [&](const char* name) -> const char* {
    return std::string(name) == "XDG_CONFIG_HOME" ? dir_.c_str() : nullptr;
  };
  EXPECT_EQ(configFile(environment, "/nonexistent"), dir_ + "/virelo/config.json");
  EXPECT_EQ(configFile([](const char*) -> const char* { return nullptr; }, dir_),
            dir_ + "/virelo/config.json");

  ToolArguments args;
  args.backend = "corehid";
  SessionSettings settings = readConfig(*configFile(environment, "/nonexistent"));
  EXPECT_EQ(settings.host, "sim");
  EXPECT_EQ(settings.backend, "cgevent");
  ::setenv("XDG_CONFIG_HOME", dir_.c_str(), 1);
  settings = sessionSettings(args, std::getenv);
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
  EXPECT_EQ(chooseBackend("linux", "cgevent", probes(true, "none")), "cgevent");
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
}  // namespace virelo::tools
