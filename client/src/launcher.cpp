#include "virelo/client/launcher.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <thread>
#include <vector>

#include "virelo/client/errors.h"
#include "virelo/protocol/limits.h"
#include "virelo/protocol/names.h"

extern char** environ;

namespace virelo::client {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr std::size_t kMaxSocketPath = protocol::kMaxSocketPathBytes;

int remainingMs(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() < 0 ? 0 : static_cast<int>(left.count());
}

std::string systemError(const std::string& what) {
  return what + ": " + std::strerror(errno);
}

std::string substituteDir(std::string value, const std::string& dir) {
  const std::string marker = "{dir}";
  for (auto at = value.find(marker); at != std::string::npos;
       at = value.find(marker, at + dir.size())) {
    value.replace(at, marker.size(), dir);
  }
  return value;
}

// The launcher's own environment with the overrides applied and the token added.
std::vector<std::string> serviceEnvironment(const std::map<std::string, std::string>& extra,
                                            const std::string& token) {
  std::map<std::string, std::string> merged;
  for (char** e = environ; e && *e; ++e) {
    std::string entry(*e);
    auto eq = entry.find('=');
    if (eq != std::string::npos) merged[entry.substr(0, eq)] = entry.substr(eq + 1);
  }
  for (const auto& [k, v] : extra) merged[k] = v;
  merged[protocol::variables::serviceToken] = token;
  std::vector<std::string> env;
  for (const auto& [k, v] : merged) env.push_back(k + "=" + v);
  return env;
}

// The service's command line and environment as execve takes them.
struct ExecLine {
  ExecLine(std::vector<std::string> arguments, std::vector<std::string> environment)
      : args(std::move(arguments)), env(std::move(environment)) {
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
  }
  ExecLine(const ExecLine&) = delete;
  ExecLine& operator=(const ExecLine&) = delete;

  std::vector<std::string> args;
  std::vector<std::string> env;
  std::vector<char*> argv;
  std::vector<char*> envp;
};

// The pipes of a start, all close-on-exec: the service's standard input and output, and the one
// on which the child reports a step that failed before exec.
struct StartPipes {
  int in[2];
  int out[2];
  int failure[2];
};

StartPipes openPipes() {
  StartPipes pipes;
  if (::pipe2(pipes.in, O_CLOEXEC) != 0) throw LaunchFailed(systemError("pipe"));
  if (::pipe2(pipes.out, O_CLOEXEC) != 0 || ::pipe2(pipes.failure, O_CLOEXEC) != 0) {
    int e = errno;
    for (int fd : {pipes.in[0], pipes.in[1]}) ::close(fd);
    errno = e;
    throw LaunchFailed(systemError("pipe"));
  }
  return pipes;
}

// The child's steps up to exec. Only async-signal-safe calls: the parent may have other threads.
[[noreturn]] void reportFailedStep(int failureFd, int step) {
  int report[2] = {step, errno};
  [[maybe_unused]] ssize_t n = ::write(failureFd, report, sizeof(report));
  ::_exit(127);
}

// A descriptor that already has its place (the parent's own standard input was closed, so the pipe
// took number 0) only loses its close-on-exec flag; dup2 would leave it set.
int place(int fd, int target) {
  return fd == target ? ::fcntl(fd, F_SETFD, 0) : ::dup2(fd, target);
}

[[noreturn]] void execService(const StartPipes& pipes, const ExecLine& line, bool drop, uid_t uid,
                              gid_t gid) {
  if (place(pipes.in[0], 0) < 0 || place(pipes.out[1], 1) < 0) {
    reportFailedStep(pipes.failure[1], 0);
  }
  if (drop && (::setgroups(0, nullptr) != 0 || ::setresgid(gid, gid, gid) != 0 ||
               ::setresuid(uid, uid, uid) != 0)) {
    reportFailedStep(pipes.failure[1], 1);
  }
  sigset_t none;
  sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  for (int sig : {SIGPIPE, SIGINT, SIGTERM}) ::signal(sig, SIG_DFL);
  ::execve(line.argv[0], line.argv.data(), line.envp.data());
  reportFailedStep(pipes.failure[1], 2);
}

}  // namespace

std::string randomToken() {
  unsigned char bytes[protocol::kTokenHexDigits / 2];
  std::size_t got = 0;
  while (got < sizeof(bytes)) {
    ssize_t n = ::getrandom(bytes + got, sizeof(bytes) - got, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw LaunchFailed(systemError("getrandom"));
    got += static_cast<std::size_t>(n);
  }
  static constexpr char digits[] = "0123456789abcdef";
  std::string token;
  for (unsigned char b : bytes) {
    token.push_back(digits[b >> 4]);
    token.push_back(digits[b & 0x0F]);
  }
  return token;
}

Launcher::Launcher(LaunchOptions options) : options_(std::move(options)) {
  if (options_.user && ::geteuid() == 0) {
    passwd* user = ::getpwnam(options_.user->c_str());
    if (user == nullptr) throw LaunchFailed("no such user: " + *options_.user);
    dropUser_ = true;
    uid_ = user->pw_uid;
    gid_ = user->pw_gid;
  }
  std::string parent = options_.directoryParent;
  if (parent.empty()) {
    const char* tmp = std::getenv("TMPDIR");
    parent = tmp && *tmp ? tmp : "/tmp";
  }
  std::string pattern = parent + "/virelo-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) throw LaunchFailed(systemError("mkdtemp " + pattern));
  directory_ = pattern;  // mode 0700, owned by the effective user
  if (dropUser_ && ::chown(directory_.c_str(), uid_, gid_) != 0) {
    std::string message = systemError("chown " + directory_);
    ::rmdir(directory_.c_str());
    throw LaunchFailed(message);
  }
  socketPath_ = directory_ + "/s";
  if (socketPath_.size() > kMaxSocketPath) {
    ::rmdir(directory_.c_str());
    throw LaunchFailed("socket path too long: " + socketPath_);
  }
}

Launcher::~Launcher() {
  if (pid_ > 0 && !status_) {
    try {
      stop(5s);
    } catch (const std::exception&) {
      // Nothing more can be done about a service that cannot be stopped.
    }
  }
  closePipe();
  if (stdoutFd_ >= 0) ::close(stdoutFd_);
  std::error_code ignored;
  std::filesystem::remove_all(directory_, ignored);
}

ServiceEvent Launcher::start() {
  if (pid_ > 0) throw LaunchFailed("the service was already started");
  token_ = randomToken();
  const std::string binary = prepareBinary();
  std::map<std::string, std::string> extra;
  for (const auto& [k, v] : options_.environment) extra[k] = substituteDir(v, directory_);
  ExecLine line({binary, "--socket", socketPath_, "--backend", options_.backend},
                serviceEnvironment(extra, token_));

  StartPipes pipes = openPipes();
  pid_t pid = ::fork();
  if (pid < 0) {
    int e = errno;
    for (int fd : {pipes.in[0], pipes.in[1], pipes.out[0], pipes.out[1], pipes.failure[0],
                   pipes.failure[1]}) {
      ::close(fd);
    }
    errno = e;
    throw LaunchFailed(systemError("fork"));
  }
  if (pid == 0) execService(pipes, line, dropUser_, uid_, gid_);
  pid_ = pid;
  ::close(pipes.in[0]);
  ::close(pipes.out[1]);
  ::close(pipes.failure[1]);
  stdinFd_ = pipes.in[1];
  stdoutFd_ = pipes.out[0];
  ::fcntl(stdoutFd_, F_SETFL, O_NONBLOCK);
  awaitExec(pipes.failure[0], binary);
  return firstEvent();
}

std::string Launcher::prepareBinary() {
  if (!dropUser_) return options_.servicePath;
  // The service's user may not be able to read the original (a build tree, say).
  std::string binary;
  try {
    binary = copyService(options_.servicePath, directory_);
  } catch (const std::filesystem::filesystem_error& e) {
    throw LaunchFailed("cannot copy " + options_.servicePath + ": " + e.code().message());
  }
  if (::chmod(binary.c_str(), 0700) != 0 || ::chown(binary.c_str(), uid_, gid_) != 0) {
    throw LaunchFailed(systemError("cannot prepare " + binary));
  }
  return binary;
}

void Launcher::awaitExec(int failureFd, const std::string& binary) {
  // The failure pipe closes on a successful exec; otherwise it carries the step and errno.
  int report[2] = {0, 0};
  ssize_t n;
  do {
    n = ::read(failureFd, report, sizeof(report));
  } while (n < 0 && errno == EINTR);
  ::close(failureFd);
  if (n == static_cast<ssize_t>(sizeof(report))) {
    waitExit(5s);
    static constexpr const char* kSteps[] = {"set up its descriptors", "switch to the user", "run"};
    throw LaunchFailed(std::string("the service could not ") + kSteps[report[0] % 3] + " (" +
                       binary + "): " + std::strerror(report[1]));
  }
}

ServiceEvent Launcher::firstEvent() {
  auto deadline = Clock::now() + options_.readyTimeout;
  while (events_.empty()) {
    if (!pump(std::chrono::milliseconds(remainingMs(deadline)))) {
      if (!events_.empty()) break;
      auto status = waitExit(5s);
      throw ServiceExitedSilently(status.value_or(-1));
    }
    if (events_.empty() && remainingMs(deadline) == 0) {
      ::kill(pid_, SIGKILL);
      waitExit(5s);
      throw LaunchFailed("the service wrote no event within " +
                         std::to_string(options_.readyTimeout.count()) + " ms");
    }
  }
  ServiceEvent first = events_.front();
  events_.pop_front();
  if (first.failure()) {
    auto status = waitExit(5s);
    throw ServiceRefused(*first.error, status.value_or(-1));
  }
  return first;
}

bool Launcher::pump(std::chrono::milliseconds timeout) {
  auto deadline = Clock::now() + timeout;
  bool waited = false;
  while (!outEnded_) {
    char chunk[4096];
    ssize_t got = ::read(stdoutFd_, chunk, sizeof(chunk));
    if (got > 0) {
      outBuffer_.append(chunk, static_cast<std::size_t>(got));
      std::size_t nl;
      while ((nl = outBuffer_.find('\n')) != std::string::npos) {
        std::string line = outBuffer_.substr(0, nl);
        outBuffer_.erase(0, nl + 1);
        ServiceEvent event;
        try {
          event = parseServiceEvent(line);
        } catch (const LaunchFailed&) {
          event.type = "unknown";
          event.line = line;
        }
        if (event.failure()) lastFailure_ = event;
        events_.push_back(std::move(event));
      }
      continue;
    }
    if (got == 0) {
      outEnded_ = true;
      break;
    }
    if (errno == EINTR) continue;
    if (errno != EAGAIN) {
      outEnded_ = true;
      break;
    }
    if (!events_.empty() || waited) break;
    pollfd p{stdoutFd_, POLLIN, 0};
    ::poll(&p, 1, remainingMs(deadline));
    waited = true;
  }
  return !outEnded_;
}

std::optional<ServiceEvent> Launcher::nextEvent(std::chrono::milliseconds timeout) {
  auto deadline = Clock::now() + timeout;
  while (events_.empty()) {
    if (!pump(std::chrono::milliseconds(remainingMs(deadline))) && events_.empty()) {
      return std::nullopt;
    }
    if (events_.empty() && remainingMs(deadline) == 0) return std::nullopt;
  }
  ServiceEvent event = events_.front();
  events_.pop_front();
  return event;
}

void Launcher::closePipe() {
  if (stdinFd_ >= 0) ::close(stdinFd_);
  stdinFd_ = -1;
}

int Launcher::stop(std::chrono::milliseconds timeout) {
  if (pid_ <= 0) throw LaunchFailed("the service was not started");
  closePipe();
  if (auto status = waitExit(timeout)) return *status;
  ::kill(pid_, SIGKILL);
  if (auto status = waitExit(5s)) return *status;
  throw LaunchFailed("the service did not end after SIGKILL");
}

std::optional<int> Launcher::waitExit(std::chrono::milliseconds timeout) {
  if (status_) return status_;
  if (pid_ <= 0) return std::nullopt;
  auto deadline = Clock::now() + timeout;
  for (;;) {
    int status = 0;
    pid_t r = ::waitpid(pid_, &status, WNOHANG);
    if (r == pid_) {
      status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      // Whatever the service wrote last (a failure event, say) is read now.
      for (int i = 0; i < 50 && pump(10ms); ++i) {
      }
      return status_;
    }
    if (r < 0 && errno != EINTR) return std::nullopt;
    if (Clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(2ms);
  }
}

bool Launcher::running() {
  return pid_ > 0 && !waitExit(0ms);
}

}  // namespace virelo::client
