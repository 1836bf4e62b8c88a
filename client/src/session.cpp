#include "virelo/client/session.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <nlohmann/json.hpp>

#include "trust.h"

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

// The session's directory, opened through the checks of trust.h, and the user it belongs to.
struct SessionFiles {
  std::string path;
  trust::Descriptor directory;
  uid_t user = 0;
};

// nullopt when $XDG_RUNTIME_DIR or its virelo/ does not exist: then no session runs.
std::optional<SessionFiles> openSessionFiles(const std::string& directory) {
  auto slash = directory.rfind('/');
  std::string runtimePath = slash == 0 ? "/" : directory.substr(0, slash);
  auto runtime = trust::openRuntimeDirectory(runtimePath);
  if (!runtime.fd) return std::nullopt;
  SessionFiles files;
  files.path = directory;
  files.user = runtime.user;
  files.directory = trust::openPrivateDirectory(runtime.fd.get(), directory.substr(slash + 1),
                                                directory, files.user);
  if (!files.directory) return std::nullopt;
  return files;
}

bool lockHeld(const SessionFiles& files) {
  trust::Descriptor fd = trust::openOwnFile(files.directory.get(), "session.lock",
                                            lockPath(files.path), files.user, false);
  if (!fd) return false;
  // Asking for the lock that a reader would take reports the session's write lock, if any,
  // without taking anything.
  struct flock probe {};
  probe.l_type = F_RDLCK;
  probe.l_whence = SEEK_SET;
  return ::fcntl(fd.get(), F_OFD_GETLK, &probe) == 0 && probe.l_type != F_UNLCK;
}

// The file's text; a file larger than any session.json is malformed.
std::string readBounded(int fd, const std::string& path) {
  constexpr std::size_t kLimit = 64 * 1024;
  std::string text;
  char chunk[4096];
  while (text.size() <= kLimit) {
    ssize_t n = ::read(fd, chunk, sizeof(chunk));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0)
      throw NoSession("no usable Virelo session: cannot read " + path + ": " +
                      std::strerror(errno));
    if (n == 0) return text;
    text.append(chunk, static_cast<std::size_t>(n));
  }
  throw NoSession("no usable Virelo session: " + path + " is malformed (larger than 64 KiB)");
}

}  // namespace

std::string sessionDirectory(const EnvironmentLookup& environment) {
  const char* runtime = environment("XDG_RUNTIME_DIR");
  if (runtime == nullptr || runtime[0] == '\0') {
    throw NoSession(
        "no Virelo session: $XDG_RUNTIME_DIR is not set (log in through a session "
        "manager, or set it to a private directory of yours)");
  }
  if (runtime[0] != '/') {
    throw NoSession("no Virelo session: $XDG_RUNTIME_DIR is relative (\"" + std::string(runtime) +
                    "\"); set it to the absolute path of a private directory of yours");
  }
  return std::string(runtime) + "/virelo";
}

bool sessionRunning(const std::string& directory) {
  auto files = openSessionFiles(directory);
  return files && lockHeld(*files);
}

std::optional<SessionInfo> readSession(const std::string& directory) {
  auto files = openSessionFiles(directory);
  if (!files || !lockHeld(*files)) return std::nullopt;
  std::string path = filePath(directory);
  trust::Descriptor fd =
      trust::openOwnFile(files->directory.get(), "session.json", path, files->user, true);
  if (!fd) return std::nullopt;  // running, but its service has not started yet
  json object = json::parse(readBounded(fd.get(), path), nullptr, false);
  try {
    if (object.is_object()) return fromJson(object);
  } catch (const json::exception&) {
  }
  throw NoSession("no usable Virelo session: " + path + " is malformed");
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
