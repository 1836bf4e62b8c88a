#include "virelo/client/session.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "trust.h"

namespace virelo::client {
namespace {

using nlohmann::json;

// Larger than any session.json.
constexpr std::size_t kLargestFile = 64 * 1024;

std::string lockPath(const std::string& directory) {
  return directory + "/session.lock";
}

std::string filePath(const std::string& directory) {
  return directory + "/session.json";
}

json toJson(const SessionInfo& info) {
  json object = {
      {"socket", info.socket},          {"token", info.token},     {"host", info.host},
      {"backend", info.backend},        {"pid", info.pid},         {"protocol", info.protocol},
      {"session_pid", info.sessionPid}, {"started", info.started}, {"restarts", info.restarts}};
  if (!info.controls.empty()) object["controls"] = info.controls;
  return object;
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
  // Written by sessions that answer control searches only.
  if (object.contains("controls")) info.controls = object.at("controls").get<std::string>();
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

// Where an absolute $XDG_RUNTIME_DIR names; `prefix` begins the message when it does not.
std::string runtimePath(const EnvironmentLookup& environment, const std::string& prefix) {
  const char* runtime = environment("XDG_RUNTIME_DIR");
  if (runtime == nullptr || runtime[0] == '\0') {
    throw NoSession(prefix +
                    "$XDG_RUNTIME_DIR is not set (log in through a session manager, or set it to "
                    "a private directory of yours)");
  }
  if (runtime[0] != '/') {
    throw NoSession(prefix + "$XDG_RUNTIME_DIR is relative (\"" + std::string(runtime) +
                    "\"); set it to the absolute path of a private directory of yours");
  }
  return runtime;
}

}  // namespace

std::string sessionDirectory(const EnvironmentLookup& environment) {
  return runtimePath(environment, "no Virelo session: ") + "/virelo";
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
  std::string text;
  try {
    text = readBoundedFile(fd.get(), kLargestFile);
  } catch (const UnreadableFile& e) {
    throw NoSession("no usable Virelo session: " + path + ": " + e.what());
  }
  json object = json::parse(text, nullptr, false);
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

std::string prepareSessionDirectory(const EnvironmentLookup& environment) {
  const std::string runtime = runtimePath(environment, "the session cannot start: ");
  auto parent = trust::openRuntimeDirectory(runtime);
  if (!parent.fd) {
    throw NoSession("the session cannot start: $XDG_RUNTIME_DIR (" + runtime +
                    ") does not exist (log in through a session manager, or create a private "
                    "directory of yours)");
  }
  const std::string directory = runtime + "/virelo";
  trust::makePrivateDirectory(parent.fd.get(), "virelo", directory, parent.user);
  return directory;
}

SessionLock::SessionLock(const std::string& directory) {
  const std::string path = lockPath(directory);
  fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd_ < 0) throw Error("cannot open " + path + ": " + std::strerror(errno));
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  if (::fcntl(fd_, F_OFD_SETLK, &lock) == 0) return;
  const int e = errno;
  ::close(fd_);
  fd_ = -1;
  if (e != EAGAIN && e != EACCES) throw Error("cannot lock " + path + ": " + std::strerror(e));
  std::string running = "a Virelo session is already running";
  try {
    if (auto info = readSession(directory)) {
      running += " (session pid " + std::to_string(info->sessionPid) + ", service pid " +
                 std::to_string(info->pid) + ", socket " + info->socket + ")";
    }
  } catch (const Error&) {
    // It holds the lock; what it published does not matter for the refusal.
  }
  throw Error(running + "; stop it first (systemctl --user stop virelo)");
}

SessionLock::~SessionLock() {
  if (fd_ >= 0) ::close(fd_);
}

void removeLeftovers(const std::string& directory) {
  std::error_code ignored;
  std::filesystem::remove(filePath(directory), ignored);
  std::filesystem::remove(filePath(directory) + ".new", ignored);
  std::filesystem::remove(directory + "/controls.sock", ignored);
  for (const auto& entry : std::filesystem::directory_iterator(directory, ignored)) {
    if (entry.path().filename().string().starts_with("virelo-")) {
      std::filesystem::remove_all(entry.path(), ignored);
    }
  }
}

}  // namespace virelo::client
