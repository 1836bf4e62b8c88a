// openServer: where the listening socket may be created and how it is protected.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "core/failure.h"
#include "private_dir.h"
#include "service/socket_server.h"

namespace virelo::testing {
namespace {

std::optional<Failure> failureOfOpen(const std::string& path) {
  try {
    int fd = openServer(path);
    ::close(fd);
  } catch (const FailureError& e) {
    return e.failure();
  }
  return std::nullopt;
}

bool exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

class OpenServer : public ::testing::Test {
 protected:
  void SetUp() override { savedMask_ = ::umask(022); }
  void TearDown() override { ::umask(savedMask_); }

  PrivateDir dir;

 private:
  mode_t savedMask_ = 0;
};

TEST_F(OpenServer, PrivateDirectoryGivesAListeningNonBlockingSocketOfMode0600) {
  std::string path = dir / "s.sock";
  int fd = openServer(path);
  struct stat st {};
  ASSERT_EQ(::lstat(path.c_str(), &st), 0);
  EXPECT_TRUE(S_ISSOCK(st.st_mode));
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  EXPECT_EQ(::fcntl(fd, F_GETFL) & O_NONBLOCK, O_NONBLOCK);
  int listening = 0;
  socklen_t length = sizeof(listening);
  ASSERT_EQ(::getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &listening, &length), 0);
  EXPECT_EQ(listening, 1);
  int client = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::strcpy(addr.sun_path, path.c_str());
  EXPECT_EQ(::connect(client, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)), 0);
  ::close(client);
  ::close(fd);
}

TEST_F(OpenServer, DirectoryWithMode0755IsRefused) {
  std::string open = dir.mkdir("open", 0755);
  EXPECT_EQ(failureOfOpen(open + "/s.sock"), Failure::socketError);
  EXPECT_FALSE(exists(open + "/s.sock"));
}

TEST_F(OpenServer, AnyGroupOrOtherBitIsRefused) {
  for (mode_t mode : {0710, 0701, 0720, 0702, 0704, 0740}) {
    std::string sub = dir.mkdir("m" + std::to_string(mode), mode);
    EXPECT_EQ(failureOfOpen(sub + "/s.sock"), Failure::socketError) << std::oct << mode;
  }
}

TEST_F(OpenServer, DirectoryOwnedByAnotherUserIsRefused) {
  if (::geteuid() != 0) GTEST_SKIP() << "only the superuser can give a directory to another user";
  std::string foreign = dir.mkdir("foreign", 0700);
  ASSERT_EQ(::chown(foreign.c_str(), ::geteuid() + 4242, static_cast<gid_t>(-1)), 0);
  EXPECT_EQ(failureOfOpen(foreign + "/s.sock"), Failure::socketError);
  EXPECT_FALSE(exists(foreign + "/s.sock"));
}

TEST_F(OpenServer, DirectoryThatIsASymbolicLinkIsRefusedEvenToAPrivateDirectory) {
  std::string real = dir.mkdir("real", 0700);
  std::string link = dir / "link";
  ASSERT_EQ(::symlink(real.c_str(), link.c_str()), 0);
  for (const char* spelling : {"/s.sock", "//s.sock", "/./s.sock", "/.//./s.sock"}) {
    EXPECT_EQ(failureOfOpen(link + spelling), Failure::socketError) << spelling;
    EXPECT_FALSE(exists(real + "/s.sock")) << spelling;
  }
}

TEST_F(OpenServer, SymbolicLinksHigherUpAreFollowed) {
  std::string outer = dir.mkdir("outer", 0700);
  ASSERT_EQ(::mkdir((outer + "/inner").c_str(), 0700), 0);
  std::string hop = dir / "hop";
  ASSERT_EQ(::symlink(outer.c_str(), hop.c_str()), 0);
  EXPECT_EQ(failureOfOpen(hop + "/inner/s.sock"), std::nullopt);
  EXPECT_TRUE(exists(outer + "/inner/s.sock"));
}

TEST_F(OpenServer, MissingDirectoryOrAFileAsDirectoryIsRefused) {
  EXPECT_EQ(failureOfOpen(dir / "absent/s.sock"), Failure::socketError);
  std::ofstream(dir / "file") << "x";
  EXPECT_EQ(failureOfOpen(dir / "file/s.sock"), Failure::socketError);
}

TEST_F(OpenServer, PathOf103BytesWorksAnd104IsRefused) {
  std::string prefix = dir.path() + "/";
  ASSERT_LT(prefix.size(), 90u);
  std::string path103 = prefix + std::string(103 - prefix.size(), 'a');
  std::string path104 = prefix + std::string(104 - prefix.size(), 'b');
  ASSERT_EQ(path103.size(), 103u);
  ASSERT_EQ(path104.size(), 104u);
  EXPECT_EQ(failureOfOpen(path103), std::nullopt);
  EXPECT_TRUE(exists(path103));
  EXPECT_EQ(failureOfOpen(path104), Failure::socketError);
  EXPECT_FALSE(exists(path104));
}

TEST_F(OpenServer, LengthCountsUtf8Bytes) {
  std::string prefix = dir.path() + "/";
  // Each "é" is two bytes: a name of (104 - prefix) bytes made of them and one 'x' if odd.
  std::size_t bytes = 104 - prefix.size();
  std::string name;
  while (name.size() + 2 <= bytes) name += "\xC3\xA9";
  if (name.size() < bytes) name += "x";
  ASSERT_EQ((prefix + name).size(), 104u);
  EXPECT_EQ(failureOfOpen(prefix + name), Failure::socketError);
}

TEST_F(OpenServer, LeftoverSocketFileIsRefusedAndLeftUntouched) {
  std::string path = dir / "s.sock";
  int first = openServer(path);
  ::close(first);
  struct stat before {};
  ASSERT_EQ(::lstat(path.c_str(), &before), 0);
  EXPECT_EQ(failureOfOpen(path), Failure::socketError);
  struct stat after {};
  ASSERT_EQ(::lstat(path.c_str(), &after), 0);
  EXPECT_EQ(before.st_ino, after.st_ino);
  EXPECT_EQ(before.st_mode, after.st_mode);
}

TEST_F(OpenServer, LeftoverRegularFileIsRefusedAndLeftUntouched) {
  std::string path = dir / "s.sock";
  std::ofstream(path) << "keep me";
  ASSERT_EQ(::chmod(path.c_str(), 0644), 0);
  EXPECT_EQ(failureOfOpen(path), Failure::socketError);
  std::ifstream in(path);
  std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(content, "keep me");
  struct stat st {};
  ASSERT_EQ(::lstat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0644u);
}

}  // namespace
}  // namespace virelo::testing
