#include "tools/virelo/steer_program.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>

namespace virelo::tools {
namespace {

// The installed program (VIRELO_STEER_FROM_BIN: its path relative to the folder of the tool), else
// the one this build produced.
std::string steerPath() {
#ifdef VIRELO_BUILT_STEER_PATH
  std::error_code ec;
  const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    const auto installed = self.parent_path() / VIRELO_STEER_FROM_BIN;
    if (::access(installed.c_str(), X_OK) == 0) return installed.lexically_normal().string();
  }
  return VIRELO_BUILT_STEER_PATH;
#else
  throw std::runtime_error("this virelo was built without SDL2: \"steer\" is left out");
#endif
}

// The program's standard output for the words; empty when it could not run.
std::string outputOf(const std::string& path, const std::vector<std::string>& words) {
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) return "";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
  std::vector<char*> argv{const_cast<char*>(path.c_str())};
  for (const std::string& word : words) argv.push_back(const_cast<char*>(word.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  const int spawned = ::posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipeFds[1]);
  std::string output;
  char buffer[512];
  for (ssize_t got; spawned == 0 && (got = ::read(pipeFds[0], buffer, sizeof buffer)) != 0;) {
    if (got > 0) output.append(buffer, static_cast<std::size_t>(got));
    if (got < 0 && errno != EINTR) break;
  }
  ::close(pipeFds[0]);
  int status = 0;
  if (spawned == 0) ::waitpid(pid, &status, 0);
  return spawned == 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0 ? output : "";
}

}  // namespace

bool steerBuilt() {
#ifdef VIRELO_BUILT_STEER_PATH
  return true;
#else
  return false;
#endif
}

void execSteer(const std::vector<std::string>& words) {
  const std::string path = steerPath();
  std::vector<char*> argv{const_cast<char*>(path.c_str())};
  for (const std::string& word : words) argv.push_back(const_cast<char*>(word.c_str()));
  argv.push_back(nullptr);
  ::execv(path.c_str(), argv.data());
  throw std::runtime_error("cannot run " + path + ": " + std::strerror(errno));
}

Check gameControllerCheck() {
  std::string names;
  const std::string seen = outputOf(steerPath(), {"--list-controllers"});
  for (std::size_t at = 0, end; at < seen.size(); at = end + 1) {
    end = std::min(seen.find('\n', at), seen.size());
    if (end == at) continue;
    if (!names.empty()) names += ", ";
    names += seen.substr(at, end - at);
  }
  if (names.empty()) {
    return {"game-controller", Check::Outcome::warning, "no game controller is plugged in",
            "plug one in for \"virelo steer\" (or steer with --input udp or --input stdin)"};
  }
  return {"game-controller", Check::Outcome::ok, "seen: " + names, ""};
}

}  // namespace virelo::tools
