#include "tests/tools/tool_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>

#include "tests/support/service_user.h"
#include "virelo/client/launcher.h"

#if !defined(VIRELO_TOOL_PATH) || !defined(VIRELO_SERVICE_PATH)
#error "VIRELO_TOOL_PATH and VIRELO_SERVICE_PATH must name the tool and the service"
#endif

namespace virelo::client {

using test::ServiceUser;
using namespace std::chrono_literals;

ToolProcess::ToolProcess(const std::vector<std::string>& args,
                         const std::map<std::string, std::string>& environment) {
  std::vector<std::string> argStrings{installBinaries()};
  argStrings.insert(argStrings.end(), args.begin(), args.end());
  std::vector<std::string> envStrings;
  for (const char* name :
       {"PATH", "ASAN_OPTIONS", "UBSAN_OPTIONS", "TSAN_OPTIONS", "LSAN_OPTIONS"}) {
    if (const char* v = std::getenv(name)) envStrings.push_back(std::string(name) + "=" + v);
  }
  for (const auto& [k, v] : environment) envStrings.push_back(k + "=" + v);
  spawn(argStrings, envStrings);
}

std::string ToolProcess::installBinaries() {
  // The service binary goes beside the tool, where "virelo start" looks for it first.
  std::string binary = dir_ / "virelo";
  std::string service = dir_ / "virelo-service";
  auto copy = [&] {
    std::filesystem::copy_file(VIRELO_TOOL_PATH, binary);
    copyService(VIRELO_SERVICE_PATH, dir_.path());
    if (ServiceUser::privileged() &&
        (::chown(binary.c_str(), ServiceUser::uid(), ServiceUser::gid()) != 0 ||
         ::chown(service.c_str(), ServiceUser::uid(), ServiceUser::gid()) != 0)) {
      throw std::runtime_error("chown");
    }
  };
  if (ServiceUser::privileged()) {
    ServiceUser::asRoot(copy);
  } else {
    copy();
  }
  return binary;
}

void ToolProcess::spawn(std::vector<std::string>& args, std::vector<std::string>& env) {
  std::vector<char*> argv, envp;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);

  int out[2], err[2];
  if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) {
    throw std::runtime_error("pipe");
  }
  uid_t uid = ServiceUser::uid();
  gid_t gid = ServiceUser::gid();
  pid_ = ::fork();
  if (pid_ < 0) throw std::runtime_error("fork");
  if (pid_ == 0) {
    int devNull = ::open("/dev/null", O_RDONLY);
    if (!ServiceUser::becomeInChild(uid, gid) || ::dup2(devNull, 0) < 0 || ::dup2(out[1], 1) < 0 ||
        ::dup2(err[1], 2) < 0) {
      ::_exit(127);
    }
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    for (int sig : {SIGPIPE, SIGINT, SIGTERM}) ::signal(sig, SIG_DFL);
    ::execve(argv[0], argv.data(), envp.data());
    ::_exit(127);
  }
  ::close(out[1]);
  ::close(err[1]);
  outFd_ = out[0];
  errFd_ = err[0];
  ::fcntl(outFd_, F_SETFL, O_NONBLOCK);
  ::fcntl(errFd_, F_SETFL, O_NONBLOCK);
}

ToolProcess::~ToolProcess() {
  if (!waitExit(0ms)) {
    ::kill(pid_, SIGKILL);
    waitExit(5s);
  }
  ::close(outFd_);
  ::close(errFd_);
}

void ToolProcess::signal(int sig) {
  ::kill(pid_, sig);
}

std::optional<int> ToolProcess::waitExit(std::chrono::milliseconds timeout) {
  if (status_) return status_;
  auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    drain(outFd_, out_);
    drain(errFd_, err_);
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      drain(outFd_, out_);
      drain(errFd_, err_);
      return status_;
    }
    if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(2ms);
  }
}

void ToolProcess::drain(int fd, std::string& into) {
  char chunk[4096];
  ssize_t got;
  while ((got = ::read(fd, chunk, sizeof(chunk))) > 0) into.append(chunk, static_cast<size_t>(got));
}

std::string ToolProcess::output() {
  drain(outFd_, out_);
  return out_;
}

std::string ToolProcess::errors() {
  drain(errFd_, err_);
  return err_;
}

ToolResult runTool(const std::vector<std::string>& args,
                   const std::map<std::string, std::string>& environment,
                   std::chrono::milliseconds timeout) {
  ToolProcess tool(args, environment);
  ToolResult result;
  result.status = tool.waitExit(timeout).value_or(-1);
  result.output = tool.output();
  result.errors = tool.errors();
  return result;
}

nlohmann::json publishedSession(const std::map<std::string, std::string>& environment,
                                std::chrono::milliseconds timeout) {
  const std::string file = environment.at("XDG_RUNTIME_DIR") + "/virelo/session.json";
  nlohmann::json published;
  for (auto deadline = std::chrono::steady_clock::now() + timeout;
       !published.is_object() && std::chrono::steady_clock::now() < deadline;
       std::this_thread::sleep_for(10ms)) {
    std::ifstream in(file);
    published = nlohmann::json::parse(in, nullptr, false);
  }
  return published.is_object() ? published : nlohmann::json();
}

ToolResult readyStatus(const std::map<std::string, std::string>& environment,
                       std::chrono::milliseconds timeout) {
  ToolResult status;
  for (auto deadline = std::chrono::steady_clock::now() + timeout;
       status.status != 0 && std::chrono::steady_clock::now() < deadline;
       std::this_thread::sleep_for(50ms)) {
    status = runTool({"status", "--json"}, environment);
  }
  return status;
}

}  // namespace virelo::client
