#include "tests/support/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "tests/support/service_user.h"

extern char** environ;

namespace virelo::test {
namespace {

std::vector<std::string> childEnvironment(const std::map<std::string, std::string>& extra) {
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    std::string entry(*e);
    if (extra.count(entry.substr(0, entry.find('='))) == 0) env.push_back(std::move(entry));
  }
  for (const auto& [name, value] : extra) env.push_back(name + "=" + value);
  return env;
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
  std::vector<char*> out;
  for (auto& s : strings) out.push_back(s.data());
  out.push_back(nullptr);
  return out;
}

}  // namespace

bool programExists(const std::string& name) {
  if (name.find('/') != std::string::npos) return ::access(name.c_str(), X_OK) == 0;
  const char* path = std::getenv("PATH");
  std::stringstream dirs(path != nullptr ? path : "/usr/bin:/bin");
  for (std::string dir; std::getline(dirs, dir, ':');) {
    if (::access((dir + "/" + name).c_str(), X_OK) == 0) return true;
  }
  return false;
}

ChildProcess::ChildProcess(const ChildOptions& options) {
  std::vector<std::string> args = options.argv;
  std::vector<std::string> env = childEnvironment(options.environment);
  auto argv = pointers(args);
  auto envp = pointers(env);
  int out[2] = {-1, -1};
  if (options.readOutput && ::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
  const bool privileged = ServiceUser::privileged();
  const uid_t uid = options.asServiceUser ? ServiceUser::uid() : 0;
  const gid_t gid = options.asServiceUser ? ServiceUser::gid() : 0;
  const int keep = options.keepDescriptor;
  pid_ = ::fork();
  if (pid_ < 0) throw std::runtime_error("fork");
  if (pid_ == 0) {
    int null = ::open("/dev/null", O_RDWR);
    if ((privileged && !ServiceUser::becomeInChild(uid, gid)) || ::dup2(null, 0) < 0 ||
        ::dup2(out[1] >= 0 ? out[1] : null, 1) < 0 || ::dup2(null, 2) < 0 ||
        (keep >= 0 && ::fcntl(keep, F_SETFD, 0) != 0)) {
      ::_exit(127);
    }
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::execvpe(argv[0], argv.data(), envp.data());
    ::_exit(127);
  }
  if (out[1] >= 0) ::close(out[1]);
  outFd_ = out[0];
  if (outFd_ >= 0) ::fcntl(outFd_, F_SETFL, O_NONBLOCK);
}

ChildProcess::~ChildProcess() {
  if (running()) {
    ::kill(pid_, SIGTERM);
    for (int i = 0; i < 200 && running(); ++i) std::this_thread::sleep_for(10ms);
    if (running()) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  if (outFd_ >= 0) ::close(outFd_);
}

std::optional<std::string> ChildProcess::readLine(std::chrono::milliseconds timeout) {
  if (outFd_ < 0) return std::nullopt;
  return reader_.readLine(outFd_, timeout);
}

bool ChildProcess::running() {
  if (status_) return false;
  int status = 0;
  if (::waitpid(pid_, &status, WNOHANG) != pid_) return true;
  status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return false;
}

int ChildProcess::wait() {
  while (running()) std::this_thread::sleep_for(5ms);
  return *status_;
}

}  // namespace virelo::test
