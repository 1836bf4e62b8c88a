// Whom a client trusts: only the session files and the service of its own user. Another real user
// ("daemon") plants files and listens on sockets; the client is the service user.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <functional>

#include "tests/support/private_dir.h"
#include "tests/support/service_user.h"
#include "virelo/client/client.h"
#include "virelo/client/errors.h"
#include "virelo/client/session.h"

namespace virelo::client {
namespace {

using test::ServiceUser;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

// What `call` threw: the message of an UntrustedService, or a note on anything else.
std::string refusal(const std::function<void()>& call) {
  try {
    call();
  } catch (const UntrustedService& e) {
    return e.what();
  } catch (const std::exception& e) {
    return std::string("not refused as untrusted: ") + e.what();
  }
  return "not refused";
}

Endpoint findIn(const std::string& runtime) {
  return findEndpoint([&](const char* name) -> const char* {
    return std::string(name) == "XDG_RUNTIME_DIR" ? runtime.c_str() : nullptr;
  });
}

class Trust : public testing::Test {
 protected:
  void SetUp() override {
    if (!ServiceUser::privileged()) GTEST_SKIP() << "needs root to act as two users";
    passwd* other = ::getpwnam("daemon");
    ASSERT_NE(other, nullptr);
    other_ = other->pw_uid;
    otherGroup_ = other->pw_gid;
  }
  void TearDown() override {
    for (int fd : open_) ::close(fd);
  }

  // A session that looks running and entirely the client's own: virelo/ (0700) with a locked
  // session.lock and a session.json (0600), in `runtime` (0700).
  void plantSession(const std::string& runtime) {
    fs::create_directory(runtime + "/virelo");
    ::chmod((runtime + "/virelo").c_str(), 0700);
    int lock = ::open((runtime + "/virelo/session.lock").c_str(), O_RDWR | O_CREAT, 0600);
    ASSERT_GE(lock, 0);
    open_.push_back(lock);
    struct flock held {};
    held.l_type = F_WRLCK;
    held.l_whence = SEEK_SET;
    ASSERT_EQ(::fcntl(lock, F_OFD_SETLK, &held), 0);
    int file = ::open((runtime + "/virelo/session.json").c_str(), O_WRONLY | O_CREAT, 0600);
    ASSERT_GE(file, 0);
    std::string text = R"({"socket":"/planted.sock","token":"00","host":"sim","backend":)"
                       R"("corehid","pid":1,"protocol":1,"session_pid":1,"started":0,)"
                       R"("restarts":0})";
    ASSERT_EQ(::write(file, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    ::close(file);
  }

  // Makes the file or directory the other user's, open for anyone to read, as she would plant it.
  void giveToOther(const std::string& path) {
    ServiceUser::asRoot([&] {
      ASSERT_EQ(::chown(path.c_str(), other_, otherGroup_), 0);
      ASSERT_EQ(::chmod(path.c_str(), fs::is_directory(path) ? 0755 : 0644), 0);
    });
  }

  // The session as another user plants it in a shared directory that anyone may write (as /tmp).
  void plantedInShared(const std::string& runtime) {
    for (auto name : {"/virelo/session.json", "/virelo/session.lock", "/virelo"}) {
      giveToOther(runtime + name);
    }
    ServiceUser::asRoot([&] {
      ASSERT_EQ(::chown(runtime.c_str(), 0, 0), 0);
      ASSERT_EQ(::chmod(runtime.c_str(), 01777), 0);
    });
  }

  // A socket at `path` (that anyone may connect to) on which the other user listens.
  int listenAsOther(const std::string& path) {
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    open_.push_back(fd);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
    ServiceUser::asRoot([&] {
      EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
      EXPECT_EQ(::chmod(path.c_str(), 0666), 0);
    });
    // The listening socket carries the credentials of whoever called listen().
    ServiceUser::asUser(other_, otherGroup_, [&] { EXPECT_EQ(::listen(fd, 8), 0); });
    return fd;
  }

  // Everything sent on the connections waiting on `listener`, each read to its end.
  static std::string received(int listener, int connections) {
    std::string all;
    for (int i = 0; i < connections; ++i) {
      pollfd waiting{listener, POLLIN, 0};
      if (::poll(&waiting, 1, 2000) != 1) return all + "(a connection is missing)";
      int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
      char chunk[512];
      for (pollfd p{fd, POLLIN, 0}; ::poll(&p, 1, 2000) == 1;) {
        ssize_t n = ::read(fd, chunk, sizeof(chunk));
        if (n <= 0) break;
        all.append(chunk, static_cast<std::size_t>(n));
      }
      ::close(fd);
    }
    return all;
  }

  uid_t other_ = 0;
  gid_t otherGroup_ = 0;
  std::vector<int> open_;
};

TEST_F(Trust, ASessionAnotherUserCouldHavePlantedIsRefusedSayingWhy) {
  test::PrivateDir trusted;
  plantSession(trusted.path());
  EXPECT_EQ(findIn(trusted.path()).socket, "/planted.sock");

  struct Case {
    const char* what;
    std::function<void(const std::string& runtime)> spoil;
    std::string says;
  };
  const std::vector<Case> cases = {
      {"a shared directory", [&](const std::string& runtime) { plantedInShared(runtime); },
       ": it is owned by root (uid 0), not by you (nobody, uid 65534)"},
      {"the user's directory that others can write",
       [](const std::string& runtime) { ::chmod(runtime.c_str(), 0777); },
       ": others can write it (mode 0777), so another user could plant a session there"},
      {"virelo/ of another user",
       [&](const std::string& runtime) { giveToOther(runtime + "/virelo"); },
       "/virelo: it is owned by daemon (uid 1), not by you"},
      {"virelo/ that others can read",
       [](const std::string& runtime) { ::chmod((runtime + "/virelo").c_str(), 0755); },
       "/virelo: others have access to it (mode 0755"},
      {"virelo/ as a link",
       [](const std::string& runtime) {
         fs::rename(runtime + "/virelo", runtime + "/elsewhere");
         fs::create_directory_symlink(runtime + "/elsewhere", runtime + "/virelo");
       },
       "/virelo: it is a symbolic link, not a directory"},
      {"the lock of another user",
       [&](const std::string& runtime) { giveToOther(runtime + "/virelo/session.lock"); },
       "/virelo/session.lock: it is owned by daemon (uid 1)"},
      {"session.json of another user",
       [&](const std::string& runtime) { giveToOther(runtime + "/virelo/session.json"); },
       "/virelo/session.json: it is owned by daemon (uid 1)"},
      {"session.json that others can read",
       [](const std::string& runtime) {
         ::chmod((runtime + "/virelo/session.json").c_str(), 0644);
       },
       "/virelo/session.json: others have access to it (mode 0644"},
      {"session.json as a link",
       [](const std::string& runtime) {
         fs::rename(runtime + "/virelo/session.json", runtime + "/planted.json");
         fs::create_symlink(runtime + "/planted.json", runtime + "/virelo/session.json");
       },
       "/virelo/session.json: it is a symbolic link"},
  };
  for (const auto& c : cases) {
    test::PrivateDir runtime;
    plantSession(runtime.path());
    c.spoil(runtime.path());
    std::string message = refusal([&] { findIn(runtime.path()); });
    EXPECT_NE(message.find("refusing "), std::string::npos) << c.what << ": " << message;
    EXPECT_NE(message.find(c.says), std::string::npos) << c.what << ": " << message;
  }
}

TEST_F(Trust, NothingIsSentToAServiceOfAnotherUser) {
  test::PrivateDir dir;
  std::string path = dir / "planted.sock";
  int listener = listenAsOther(path);
  const std::string says = "refusing the service at " + path +
                           ": it runs as daemon (uid 1), not as you (nobody, uid 65534); nothing "
                           "was sent to it";
  // As a socket given by name ($VIRELO_SOCKET, --socket) and as one that a session file names.
  EXPECT_EQ(refusal([&] { Client client(path, 300ms); }), says);
  EXPECT_EQ(refusal([&] { Client client([&] { return Endpoint{path, "00"}; }, 300ms); }), says);
  EXPECT_EQ(received(listener, 2), "");
}

TEST(TrustWithoutUsers, ARelativeRuntimeDirectoryIsCalledRelative) {
  std::string message;
  try {
    findIn("run/user/1000");
  } catch (const NoSession& e) {
    message = e.what();
  }
  EXPECT_NE(message.find("$XDG_RUNTIME_DIR is relative (\"run/user/1000\")"), std::string::npos)
      << message;
}

}  // namespace
}  // namespace virelo::client
