// The client library on a real X server (Xvfb) that it cannot trust: a record of borrowed keys
// that another user planted, that is no regular file, or whose directory others may read, is
// ignored with a warning and changes no key; and a stopped server (it accepts connections but
// never answers) is given up on with a clear error within seconds. The test process acts as the
// service user; a second user ("daemon") plants what it plants.
#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <functional>
#include <future>
#include <sstream>

#include "tests/support/gtk_receiver.h"
#include "tests/support/private_dir.h"
#include "tests/support/service_user.h"
#include "tests/tools/tool_process.h"
#include "virelo/client/errors.h"
#include "virelo/client/x11.h"

namespace virelo::test {
namespace {

class X11ServerTrust : public testing::Test {
 protected:
  void SetUp() override {
    if (!XvfbServer::installed()) GTEST_SKIP() << "Xvfb is not installed (Debian xvfb)";
    if (!ServiceUser::privileged()) GTEST_SKIP() << "a second user needs a test run as root";
    server_ = VirtualDesktop::startServer();
    ASSERT_TRUE(server_->available());
  }
  void TearDown() override {
    if (stopped_) signalServer(SIGCONT);
  }
  const std::string& display() const { return server_->display(); }

  std::vector<std::uint32_t> mapping(std::uint8_t keycode) {
    xcb_connection_t* x = xcb_connect(display().c_str(), nullptr);
    auto* reply =
        xcb_get_keyboard_mapping_reply(x, xcb_get_keyboard_mapping(x, keycode, 1), nullptr);
    std::vector<std::uint32_t> keysyms;
    if (reply != nullptr) {
      const xcb_keysym_t* first = xcb_get_keyboard_mapping_keysyms(reply);
      keysyms.assign(first, first + reply->keysyms_per_keycode);
    }
    std::free(reply);
    xcb_disconnect(x);
    return keysyms;
  }

  void signalServer(int sig) {
    ServiceUser::asRoot([&] { ::kill(server_->pid(), sig); });
    stopped_ = sig == SIGSTOP;
  }

  // Runs `fn` while the server is stopped; fails when it has not returned within 10 s (and then
  // lets the server go on, so that it returns).
  template <typename Fn>
  auto givenUpOn(Fn fn) {
    auto result = std::async(std::launch::async, fn);
    if (result.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
      ADD_FAILURE() << "still waiting for the stopped X server after 10 s";
      signalServer(SIGCONT);
    }
    return result.get();
  }

  std::unique_ptr<XvfbServer> server_;
  bool stopped_ = false;
};

// Makes `path` as root and gives it to `user`.
void plantAs(const passwd& user, const std::string& path, const std::function<void()>& make) {
  ServiceUser::asRoot([&] {
    make();
    ASSERT_EQ(::lchown(path.c_str(), user.pw_uid, user.pw_gid), 0) << path;
  });
}

TEST_F(X11ServerTrust, ARecordOfBorrowedKeysThatFailsACheckIsIgnoredWithAWarning) {
  const passwd* daemon = ::getpwnam("daemon");
  if (daemon == nullptr) GTEST_SKIP() << "no user \"daemon\"";
  const auto own38 = mapping(38);
  std::ostringstream planted;  // key code 38 ("a" on a US keyboard) to "x" on every level
  planted << display() << " 26";
  for (std::size_t level = 0; level < own38.size(); ++level) planted << " 78";
  planted << '\n';
  PrivateDir mine;
  const std::string foreign = mine / "planted";  // as /tmp/virelo-UID, made by another user
  plantAs(*daemon, foreign, [&] { ASSERT_EQ(::mkdir(foreign.c_str(), 0755), 0); });
  plantAs(*daemon, foreign + "/borrowed-keys",
          [&] { writeFile(foreign + "/borrowed-keys", planted.str()); });
  plantAs(*daemon, mine / "foreign-record",
          [&] { writeFile(mine / "foreign-record", planted.str()); });
  ASSERT_EQ(::mkfifo((mine / "fifo").c_str(), 0600), 0);
  ASSERT_EQ(::symlink("/dev/zero", (mine / "zero").c_str()), 0);
  const std::string readable = mine / "readable";  // a directory of mine that others may read
  ASSERT_EQ(::mkdir(readable.c_str(), 0700), 0);
  ASSERT_EQ(::chmod(readable.c_str(), 0755), 0);
  const std::vector<std::pair<std::string, std::string>> cases = {
      {foreign + "/borrowed-keys", "belongs to user"},
      {mine / "foreign-record", "its owner is user"},
      {mine / "fifo", "not a regular file"},
      {mine / "zero", "cannot open it"},
      {readable + "/borrowed-keys", "other users have access"}};
  for (const auto& [record, reason] : cases) {
    testing::internal::CaptureStderr();
    const bool restored = givenUpOn([&] { return client::restoreBorrowedKeys(display(), record); });
    const std::string warning = testing::internal::GetCapturedStderr();
    EXPECT_FALSE(restored) << record;
    EXPECT_NE(warning.find(reason), std::string::npos) << record << ": " << warning;
    EXPECT_EQ(mapping(38), own38) << record;
  }
}

TEST_F(X11ServerTrust, AStoppedXServerIsGivenUpOnWithAClearError) {
  signalServer(SIGSTOP);
  const char* display = this->display().c_str();
  const std::string named = "\"" + this->display() + "\"";
  auto layoutError = givenUpOn([&]() -> std::string {
    try {
      client::x11Layout(display);
      return "no error";
    } catch (const client::XServerSilent& e) {
      return e.what();
    }
  });
  EXPECT_NE(layoutError.find(named), std::string::npos) << layoutError;
  EXPECT_THROW(givenUpOn([&] { return client::screenArea(display); }), client::XServerSilent);
  // Whether a key can be borrowed there is a plain no ("€" is not on the US layout).
  EXPECT_FALSE(givenUpOn(
      [&] { return client::borrowingCovers("€", client::KeyboardLayout::us(), this->display()); }));
  auto doctor = client::runTool({"doctor"}, {{"DISPLAY", this->display()}});
  EXPECT_NE(doctor.status, -1) << "doctor waited for the stopped X server";
  EXPECT_NE((doctor.output + doctor.errors).find("did not answer"), std::string::npos)
      << doctor.output << doctor.errors;
}

}  // namespace
}  // namespace virelo::test
