#include "service/socket_server.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "core/failure.h"
#include "virelo/protocol/limits.h"

namespace virelo {
namespace {

constexpr std::size_t kMaxSocketPath = protocol::kMaxSocketPathBytes;

[[noreturn]] void socketError() {
  throw FailureError(Failure::socketError);
}

// The directory part of path, with doubled slashes and "." components taken out, so that the
// last name checked is the directory's own name ("dir//s" and "dir/./s" name "dir", not "dir/"
// or "dir/.", which lstat would follow through a symbolic link). ".." stays: the kernel resolves
// it, and lstat then sees the directory the socket really goes into. Empty without a slash.
std::string parentDirectory(const std::string& path) {
  if (path.find('/') == std::string::npos) return {};
  std::filesystem::path clean;
  for (const std::filesystem::path& part : std::filesystem::path(path)) {
    if (!part.empty() && part != ".") clean /= part;
  }
  std::filesystem::path parent = clean.parent_path();
  return parent.empty() ? "." : parent.string();
}

void checkPrivateDirectory(const std::string& directory) {
  struct stat st {};
  if (directory.empty() || ::lstat(directory.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) ||
      st.st_uid != ::geteuid() || (st.st_mode & 077) != 0) {
    socketError();
  }
}

}  // namespace

int openServer(const std::string& path) {
  checkPrivateDirectory(parentDirectory(path));
  if (path.size() > kMaxSocketPath) socketError();
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) socketError();
  ::umask(077);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof(addr)) != 0 ||
      ::chmod(path.c_str(), 0600) != 0 || ::listen(fd, 4) != 0 ||
      ::fcntl(fd, F_SETFL, O_NONBLOCK) != 0) {
    ::close(fd);
    socketError();
  }
  return fd;
}

bool replyText(int fd, std::string line) {
  line.push_back('\n');
  return replyLine(fd, line);
}

bool replyLine(int fd, std::string_view line) {
  ssize_t sent = ::send(fd, line.data(), line.size(), MSG_NOSIGNAL);
  return sent == static_cast<ssize_t>(line.size());
}

bool reply(int fd, const nlohmann::json& object) {
  std::string line;
  try {
    line = object.dump(-1, ' ', false, nlohmann::json::error_handler_t::strict);
  } catch (const nlohmann::json::exception&) {
    return false;
  }
  return replyText(fd, std::move(line));
}

}  // namespace virelo
