// Control searches through the user's session: the real `virelo session` on the accessible desktop
// answers the command-line tool's searches, and a socket that fails a check is never asked.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <thread>

#include "tests/controls/controls_desktop.h"
#include "tests/support/private_dir.h"
#include "tests/tools/tool_process.h"

namespace virelo::test {
namespace {

using client::runTool;
using client::ToolProcess;

class ControlsSession : public ControlsTest {
 protected:
  // The environment of the session and its clients: the desktop, and the user's runtime directory
  // in place of a named service.
  std::map<std::string, std::string> sessionEnvironment() const {
    auto env = toolEnvironment();
    env.erase("VIRELO_SOCKET");
    env.erase("VIRELO_TOKEN");
    env["XDG_RUNTIME_DIR"] = runtime_.path();
    env["XDG_CONFIG_HOME"] = runtime_ / "config";
    return env;
  }

  // A client that cannot search itself: its accessibility module does not exist.
  std::map<std::string, std::string> withoutModule() const {
    auto env = sessionEnvironment();
    env["VIRELO_ACCESSIBILITY_MODULE"] = runtime_ / "no-such-module.so";
    return env;
  }

  // Starts the session and waits until its file names its socket for searches.
  void startSession() {
    session_ = std::make_unique<ToolProcess>(std::vector<std::string>{"session", "--host", "linux"},
                                             sessionEnvironment());
    for (const auto deadline = std::chrono::steady_clock::now() + 10s;
         std::chrono::steady_clock::now() < deadline;) {
      std::ifstream in(runtime_ / "virelo/session.json");
      auto file = nlohmann::json::parse(in, nullptr, false);
      if (file.is_object() && file.contains("controls")) {
        socket_ = file["controls"].get<std::string>();
        return;
      }
      std::this_thread::sleep_for(20ms);
    }
    FAIL() << "the session published no socket for searches: " << session_->errors();
  }

  // The tool's "find --json --name OK" in the environment.
  client::ToolResult findOk(const std::map<std::string, std::string>& env) const {
    return runTool({"find", "--json", "--name", "OK"}, env);
  }

  PrivateDir runtime_;
  std::unique_ptr<ToolProcess> session_;
  std::string socket_;
};

TEST_F(ControlsSession, TheSessionAnswersAClientThatCouldNotSearchItself) {
  startGtk();
  startSession();
  ASSERT_FALSE(HasFatalFailure());
  EXPECT_EQ(socket_, runtime_ / "virelo/controls.sock");
  struct stat st {};
  ASSERT_EQ(::stat(socket_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  const auto found = findOk(withoutModule());
  ASSERT_EQ(found.status, 0) << found.errors;
  const auto list = nlohmann::json::parse(found.output);
  ASSERT_EQ(list.size(), 1u) << found.output;
  EXPECT_EQ(list[0]["role"], "push button");
  EXPECT_EQ(list[0]["application"], kGtk);
  EXPECT_EQ(list[0]["x"], kWindowX + 20);
  // What its own search gives, field for field.
  const auto own = runTool({"find", "--json", "--name", "OK"}, toolEnvironment());
  ASSERT_EQ(own.status, 0) << own.errors;
  EXPECT_EQ(list, nlohmann::json::parse(own.output));
}

// The press by a control's action is the session's too: a client without a module presses, and
// the choice of one control among several is the client's rule.
TEST_F(ControlsSession, TheSessionPressesByTheActionForAClientThatCouldNotItself) {
  FixtureApp& app = startGtk();
  startSession();
  ASSERT_FALSE(HasFatalFailure());
  const auto pressed = runTool({"click-on", "--name", "OK", "--action"}, withoutModule());
  ASSERT_EQ(pressed.status, 0) << pressed.errors;
  EXPECT_TRUE(pressed.output.starts_with("clicked with its action \"click\": push button "))
      << pressed.output;
  EXPECT_TRUE(app.readUntil("clicked OK"));
  const auto ambiguous = runTool({"click-on", "--name", "Pick", "--action"}, withoutModule());
  EXPECT_EQ(ambiguous.status, 1);
  EXPECT_NE(ambiguous.errors.find("controls match"), std::string::npos) << ambiguous.errors;
  const auto unknown =
      runTool({"click-on", "--name", "OK", "--action", "no-such-action"}, withoutModule());
  EXPECT_EQ(unknown.status, 1);
  EXPECT_NE(unknown.errors.find("not pressed"), std::string::npos) << unknown.errors;
}

TEST_F(ControlsSession, ASocketOfAnotherOwnerOrModeIsRefusedAndTheClientSearchesItself) {
  startGtk();
  startSession();
  ASSERT_FALSE(HasFatalFailure());
  for (auto spoil : {+[](const std::string& s) { return ::chmod(s.c_str(), 0666); },
                     +[](const std::string& s) { return ::chown(s.c_str(), 1, 1); }}) {
    ASSERT_EQ(asRoot([&] { return spoil(socket_); }), 0);
    // Refused: the client searched itself, and without a module it cannot.
    const auto refused = findOk(withoutModule());
    EXPECT_EQ(refused.status, 1) << refused.output;
    EXPECT_NE(refused.errors.find("no-such-module.so"), std::string::npos) << refused.errors;
    const auto own = findOk(sessionEnvironment());
    EXPECT_EQ(own.status, 0) << own.errors;
    EXPECT_EQ(nlohmann::json::parse(own.output, nullptr, false).size(), 1u) << own.output;
    ASSERT_EQ(asRoot([&] {
                return ::chmod(socket_.c_str(), 0600) |
                       ::chown(socket_.c_str(), ServiceUser::uid(), ServiceUser::gid());
              }),
              0);
  }
}

TEST_F(ControlsSession, AConnectionOfAnotherUserIsClosedUnanswered) {
  startSession();
  ASSERT_FALSE(HasFatalFailure());
  // Root is another user than the session's: its request gets no line back, not even "searching".
  const std::string reply = asRoot([&] {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    socket_.copy(address.sun_path, sizeof address.sun_path - 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    std::string got = "not connected";
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
      const std::string request = R"({"display":")" + accessible().display() +
                                  R"(","bus":"","query":{"all":false,"editable":false}})" + "\n";
      got.clear();
      // The session may have closed it already, which the reading below shows.
      [[maybe_unused]] const auto sent = ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
      pollfd readable{fd, POLLIN, 0};
      char buffer[256];
      for (;;) {
        if (::poll(&readable, 1, 5000) != 1) {
          got += "(still open after 5 s)";
          break;
        }
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0) break;
        got.append(buffer, static_cast<std::size_t>(n));
      }
    }
    ::close(fd);
    return got;
  });
  EXPECT_EQ(reply, "");
}

}  // namespace
}  // namespace virelo::test
