// Which service a client uses (the one rule of every front end) and the one reader of the small
// files around a session, without a service.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <map>

#include "virelo/client/errors.h"
#include "virelo/client/session.h"

namespace virelo::client {
namespace {

// The endpoint, or the message of the NoSession it threw.
std::string chosen(const EndpointRequest& given, const std::map<std::string, std::string>& env) {
  try {
    Endpoint endpoint = resolveEndpoint(given, [&](const char* name) -> const char* {
      auto found = env.find(name);
      return found == env.end() ? nullptr : found->second.c_str();
    });
    return endpoint.socket + " " + endpoint.token;
  } catch (const NoSession& e) {
    return e.what();
  }
}

TEST(Endpoint, EachHalfIsTheNamedOneElseTheVariableAndHalfAnEndpointIsRefused) {
  const std::map<std::string, std::string> both = {{"VIRELO_SOCKET", "/env.sock"},
                                                   {"VIRELO_TOKEN", "e1"}};
  EXPECT_EQ(chosen({"/given.sock", "g1"}, both), "/given.sock g1");
  EXPECT_EQ(chosen({"/given.sock", std::nullopt}, both), "/given.sock e1");
  EXPECT_EQ(chosen({std::nullopt, "g1"}, both), "/env.sock g1");
  EXPECT_EQ(chosen({}, both), "/env.sock e1");
  EXPECT_EQ(chosen({"", ""}, both), "/env.sock e1");  // empty is not named

  // Half an endpoint never takes the other half from the session (whose token would go to
  // another socket): it is refused, naming what is missing.
  const std::string runtime = "/run/user/1000";
  EXPECT_EQ(chosen({"/given.sock", std::nullopt}, {{"XDG_RUNTIME_DIR", runtime}}),
            "a socket is given but no token (none given, $VIRELO_TOKEN unset): name both to use "
            "that service, or neither to use the session");
  EXPECT_EQ(chosen({}, {{"VIRELO_TOKEN", "e1"}, {"XDG_RUNTIME_DIR", runtime}}),
            "$VIRELO_TOKEN is set but no socket (none given, $VIRELO_SOCKET unset): name both to "
            "use that service, or neither to use the session");
  // Neither half: the session's, which needs $XDG_RUNTIME_DIR.
  EXPECT_EQ(chosen({}, {}).rfind("no Virelo session: $XDG_RUNTIME_DIR is not set", 0), 0u);
}

TEST(ServiceHost, IsTheSessionsElseVlHostOfANamedService) {
  std::string pattern = (std::filesystem::temp_directory_path() / "vl-host-XXXXXX").string();
  ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
  std::map<std::string, std::string> env = {{"XDG_RUNTIME_DIR", pattern}, {"VL_HOST", "kde"}};
  EnvironmentLookup lookup = [&](const char* name) -> const char* {
    auto found = env.find(name);
    return found == env.end() ? nullptr : found->second.c_str();
  };
  EXPECT_EQ(serviceHost({}, lookup), "");  // no session runs
  {
    const std::string directory = prepareSessionDirectory(lookup);
    SessionLock lock(directory);
    SessionInfo info;
    info.socket = "/s";
    info.token = "t";
    info.host = "gnome";
    writeSession(directory, info);
    EXPECT_EQ(serviceHost({}, lookup), "gnome");
    EXPECT_EQ(serviceHost({"/other.sock", "token"}, lookup), "kde");
    env.erase("VL_HOST");
    EXPECT_EQ(serviceHost({"/other.sock", "token"}, lookup), "");
  }
  std::filesystem::remove_all(pattern);
}

class BoundedFile : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "vl-file-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    path_ = dir_ + "/file";
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string write(const std::string& text) {
    std::ofstream(path_) << text;
    return path_;
  }
  // What readBoundedFile refused, or "read N bytes".
  std::string outcome(std::size_t limit) {
    try {
      return "read " + std::to_string(readBoundedFile(path_, limit).size()) + " bytes";
    } catch (const UnreadableFile& e) {
      return e.what();
    }
  }

  std::string dir_;
  std::string path_;
};

TEST_F(BoundedFile, OnlyARegularFileWithinTheLimitIsRead) {
  write(std::string(10'000, 'x'));
  EXPECT_EQ(outcome(10'000), "read 10000 bytes");
  EXPECT_EQ(outcome(9'999), "larger than 9999 bytes");
  std::filesystem::remove(path_);
  EXPECT_EQ(outcome(100).rfind("cannot be read: ", 0), 0u);
  std::filesystem::create_symlink("/dev/null", path_);
  EXPECT_EQ(outcome(100), "not a regular file");

  // A FIFO without a writer: reading must not wait for one. Should it wait, a writer lets it go.
  std::filesystem::remove(path_);
  ASSERT_EQ(::mkfifo(path_.c_str(), 0600), 0);
  auto refused = std::async(std::launch::async, [&] { return outcome(100); });
  const bool answered = refused.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
  if (!answered) ::close(::open(path_.c_str(), O_WRONLY | O_NONBLOCK));
  EXPECT_TRUE(answered) << "reading a FIFO waited for a writer";
  EXPECT_EQ(refused.get(), "not a regular file");
}

}  // namespace
}  // namespace virelo::client
