#include "virelo/client/session.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

namespace virelo::client {
namespace {

using nlohmann::json;

constexpr const char* kStartHint =
    "start one with `systemctl --user start virelo` or `virelo session`";

std::string lockPath(const std::string& directory) {
  return directory + "/session.lock";
}

std::string filePath(const std::string& directory) {
  return directory + "/session.json";
}

json toJson(const SessionInfo& info) {
  return {{"socket", info.socket},          {"token", info.token},     {"host", info.host},
          {"backend", info.backend},        {"pid", info.pid},         {"protocol", info.protocol},
          {"session_pid", info.sessionPid}, {"started", info.started}, {"restarts", info.restarts}};
}

SessionInfo fromJson(const json& object) {
  SessionInfo info;
  info.socket = object.at("socket").get<std::string>();
  info.token = object.at("token").get<std::string>();
  info.host = object.at("host").get<std::string>();
  info.backend = object.at("backend").get<std::string>();
  info.pid = object.at("pid").get<pid_t>();
  info.protocol = object.at("protocol").get<int>();
  info.sessionPid = object.at("session_pid").get<pid_t>();
  info.started = object.at("started").get<std::int64_t>();
  info.restarts = object.at("restarts").get<int>();
  return info;
}

}  // namespace

std::string sessionDirectory(const EnvironmentLookup& environment) {
  const char* runtime = environment("XDG_RUNTIME_DIR");
  if (runtime == nullptr || runtime[0] != '/') {
    throw NoSession(
        "no Virelo session: $XDG_RUNTIME_DIR is not set (log in through a session "
        "manager, or set it to a private directory of yours)");
  }
  return std::string(runtime) + "/virelo";
}

bool sessionRunning(const std::string& directory) {
  int fd = ::open(lockPath(directory).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  // Asking for the lock that a reader would take reports the session's write lock, if any,
  // without taking anything.
  struct flock probe {};
  probe.l_type = F_RDLCK;
  probe.l_whence = SEEK_SET;
  bool held = ::fcntl(fd, F_OFD_GETLK, &probe) == 0 && probe.l_type != F_UNLCK;
  ::close(fd);
  return held;
}

std::optional<SessionInfo> readSession(const std::string& directory) {
  if (!sessionRunning(directory)) return std::nullopt;
  std::ifstream in(filePath(directory));
  if (!in) return std::nullopt;  // running, but its service has not started yet
  std::stringstream text;
  text << in.rdbuf();
  json object = json::parse(text.str(), nullptr, false);
  try {
    if (object.is_object()) return fromJson(object);
  } catch (const json::exception&) {
  }
  throw NoSession("no usable Virelo session: " + filePath(directory) + " is malformed");
}

void writeSession(const std::string& directory, const SessionInfo& info) {
  std::string temporary = filePath(directory) + ".new";
  ::unlink(temporary.c_str());
  int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) {
    throw Error("cannot write " + temporary + ": " + std::strerror(errno));
  }
  std::string text = toJson(info).dump() + "\n";
  std::size_t written = 0;
  while (written < text.size()) {
    ssize_t n = ::write(fd, text.data() + written, text.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      int e = errno;
      ::close(fd);
      ::unlink(temporary.c_str());
      throw Error("cannot write " + temporary + ": " + std::strerror(e));
    }
    written += static_cast<std::size_t>(n);
  }
  ::close(fd);
  if (::rename(temporary.c_str(), filePath(directory).c_str()) != 0) {
    int e = errno;
    ::unlink(temporary.c_str());
    throw Error("cannot replace " + filePath(directory) + ": " + std::strerror(e));
  }
}

Endpoint findEndpoint(const EnvironmentLookup& environment) {
  const char* socket = environment("VIRELO_SOCKET");
  const char* token = environment("VIRELO_TOKEN");
  bool hasSocket = socket != nullptr && *socket != '\0';
  bool hasToken = token != nullptr && *token != '\0';
  if (hasSocket && hasToken) return {socket, token};
  if (hasSocket != hasToken) {
    throw NoSession(std::string(hasSocket ? "$VIRELO_SOCKET is set but $VIRELO_TOKEN is not"
                                          : "$VIRELO_TOKEN is set but $VIRELO_SOCKET is not") +
                    ": set both to use that service, or neither to use the session");
  }
  std::string directory = sessionDirectory(environment);
  auto info = readSession(directory);
  if (!info) {
    throw NoSession(
        std::string("no Virelo session: ") +
        (sessionRunning(directory) ? "the session has not started its service yet" : kStartHint));
  }
  return {info->socket, info->token};
}

Endpoint findSession() {
  return findEndpoint(std::getenv);
}

}  // namespace virelo::client
