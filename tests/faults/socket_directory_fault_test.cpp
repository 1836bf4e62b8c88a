// Attacks on the socket's directory: a symbolic link, another owner, an open mode, a leftover
// socket file. Each start is refused with the failure event, nothing is created at the path and
// a leftover file is left exactly as it was.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>

#include "tests/support/fault_tally.h"
#include "tests/support/private_dir.h"
#include "tests/support/service_process.h"
#include "tests/support/service_user.h"

namespace virelo::test {
namespace {

namespace fs = std::filesystem;

const nlohmann::json kRefusal = {{"backend", "corehid"},
                                 {"error", "virtual_hid_not_ready"},
                                 {"ready", false},
                                 {"type", "status"}};

class SocketDirectoryAttack : public testing::Test {
 protected:
  // Prepares `dir`, starts the service with its socket in it and checks the refusal.
  void expectRefused(const std::string& kind,
                     const std::function<void(const std::string&)>& prepare) {
    std::string dir = base_ / "sock";
    prepare(dir);
    ServiceOptions options;
    options.socketPath = dir + "/s";
    ServiceProcess service(options);
    auto event = service.readEvent();
    ASSERT_TRUE(event) << kind;
    EXPECT_EQ(*event, kRefusal) << kind;
    EXPECT_EQ(service.waitExit(), 0) << kind;
    EXPECT_EQ(service.readRest(std::chrono::milliseconds(200)), "") << kind;
    EXPECT_EQ(service.standardError(), "") << kind;
    FaultTally::instance().add("socket directory: " + kind);
  }
  PrivateDir base_;
};

TEST_F(SocketDirectoryAttack, SymbolicLinkToAPrivateDirectory) {
  PrivateDir target;
  expectRefused("symbolic link",
                [&](const std::string& dir) { fs::create_directory_symlink(target.path(), dir); });
  EXPECT_FALSE(fs::exists(target / "s"));
}

TEST_F(SocketDirectoryAttack, DirectoryOfAnotherOwner) {
  if (!ServiceUser::privileged()) GTEST_SKIP() << "needs root to make a directory of another user";
  expectRefused("wrong owner", [](const std::string& dir) {
    ServiceUser::asRoot([&] {
      fs::create_directory(dir);
      fs::permissions(dir, fs::perms(0700));
    });
  });
  ServiceUser::asRoot([&] { EXPECT_FALSE(fs::exists(base_ / "sock/s")); });
}

TEST_F(SocketDirectoryAttack, OpenModes) {
  for (auto mode : {0755, 0750, 0701, 0710, 0777}) {
    std::string dir = base_ / "sock";
    fs::remove_all(dir);
    expectRefused("open mode", [&](const std::string& d) {
      fs::create_directory(d);
      fs::permissions(d, fs::perms(mode));
    });
    EXPECT_FALSE(fs::exists(dir + "/s")) << std::oct << mode;
  }
}

TEST_F(SocketDirectoryAttack, LeftoverSocketFileIsLeftAlone) {
  std::string leftover = base_ / "sock/s";
  struct stat before {};
  expectRefused("leftover socket file", [&](const std::string& dir) {
    fs::create_directory(dir);
    fs::permissions(dir, fs::perms(0700));
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof(addr.sun_path), "%s", leftover.c_str());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)), 0);
    ::close(fd);
    ASSERT_EQ(::lstat(leftover.c_str(), &before), 0);
  });
  struct stat after {};
  ASSERT_EQ(::lstat(leftover.c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_EQ(after.st_mode, before.st_mode);
  EXPECT_TRUE(S_ISSOCK(after.st_mode));
}

}  // namespace
}  // namespace virelo::test
