#include "tests/support/service_process.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/random.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <thread>

#include "platform/hex.h"
#include "tests/support/service_user.h"
#include "virelo/client/launcher.h"

#ifndef VIRELO_SERVICE_PATH
#error "VIRELO_SERVICE_PATH must name the service binary"
#endif

namespace virelo::test {
namespace {

using Clock = std::chrono::steady_clock;

std::vector<std::string> serviceEnvironment(const std::optional<std::string>& token,
                                            const std::map<std::string, std::string>& extra) {
  std::vector<std::string> env;
  for (const char* name :
       {"PATH", "ASAN_OPTIONS", "UBSAN_OPTIONS", "TSAN_OPTIONS", "LSAN_OPTIONS"}) {
    if (const char* v = std::getenv(name)) env.push_back(std::string(name) + "=" + v);
  }
  if (token) env.push_back("VL_COREHID_TOKEN=" + *token);
  for (const auto& [k, v] : extra) env.push_back(k + "=" + v);
  return env;
}

// The service's standard input, output and error.
struct ChildPipes {
  int in[2];
  int out[2];
  int err[2];
};

// How the child sets itself up before exec: its user, its standard input, its descriptor limit.
struct ChildSetup {
  uid_t uid;
  gid_t gid;
  bool devNull;
  std::optional<rlimit> limit;
};

[[noreturn]] void execChild(const ChildSetup& setup, const ChildPipes& pipes, char** argv,
                            char** envp) {
  int input = setup.devNull ? ::open("/dev/null", O_RDONLY) : pipes.in[0];
  // When the test runs without standard input the pipe itself gets number 0: then it only
  // loses its close-on-exec flag, which dup2 onto itself would leave set.
  auto place = [](int fd, int target) {
    return fd == target ? ::fcntl(fd, F_SETFD, 0) : ::dup2(fd, target);
  };
  if (!ServiceUser::becomeInChild(setup.uid, setup.gid) || place(input, 0) < 0 ||
      place(pipes.out[1], 1) < 0 || place(pipes.err[1], 2) < 0) {
    ::_exit(127);
  }
  // Under a descriptor limit nothing but the three standard streams may use it up (a test
  // runner can leave descriptors open that the service would inherit).
  if (setup.limit &&
      (::close_range(3, ~0U, 0) != 0 || ::setrlimit(RLIMIT_NOFILE, &*setup.limit) != 0)) {
    ::_exit(127);
  }
  sigset_t none;
  sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  ::signal(SIGPIPE, SIG_DFL);
  ::execve(argv[0], argv, envp);
  ::_exit(127);
}

}  // namespace

std::string randomToken() {
  std::uint8_t bytes[32];
  if (::getrandom(bytes, sizeof(bytes), 0) != sizeof(bytes)) throw std::runtime_error("getrandom");
  return toHex(bytes);
}

ServiceProcess::ServiceProcess(ServiceOptions options) {
  token_ = options.token ? options.token->value_or("") : randomToken();
  std::optional<std::string> envToken =
      options.token ? *options.token : std::optional<std::string>(token_);
  socketPath_ = options.socketPath
                    ? (options.socketPath->starts_with("/") ? *options.socketPath
                                                            : dir_ / *options.socketPath)
                    : dir_ / "s";
  std::string binary = options.inPlace ? options.program : installBinary(options.program);
  std::vector<std::string> args{binary};
  if (options.arguments) {
    args.insert(args.end(), options.arguments->begin(), options.arguments->end());
  } else {
    args.insert(args.end(), {"--socket", socketPath_, "--backend", options.backend});
  }
  spawn(options, std::move(args), serviceEnvironment(envToken, hostVariables(options)));
}

std::string ServiceProcess::installBinary(const std::string& program) {
  const std::string source = program.empty() ? VIRELO_SERVICE_PATH : program;
  std::string binary = dir_ / "virelo-service";
  // Copied as root when possible: the build tree may not be readable by the service user.
  if (ServiceUser::privileged()) {
    ServiceUser::asRoot([&] {
      client::copyService(source, dir_.path());
      if (::chown(binary.c_str(), ServiceUser::uid(), ServiceUser::gid()) != 0) {
        throw std::runtime_error("chown");
      }
    });
  } else {
    client::copyService(source, dir_.path());
  }
  return binary;
}

std::map<std::string, std::string> ServiceProcess::hostVariables(const ServiceOptions& options) {
  std::map<std::string, std::string> extra = options.environment;
  if (!options.world.empty()) {
    writeFile(dir_ / "world.json", options.world.dump());
    extra["VL_SIM_WORLD"] = dir_ / "world.json";
  }
  if (options.trace) extra["VL_SIM_TRACE"] = tracePath();
  if (options.control) extra["VL_SIM_CONTROL"] = controlPath();
  return extra;
}

void ServiceProcess::spawn(const ServiceOptions& options, std::vector<std::string> args,
                           std::vector<std::string> env) {
  ChildPipes pipes;
  if (::pipe2(pipes.in, O_CLOEXEC) || ::pipe2(pipes.out, O_CLOEXEC) ||
      ::pipe2(pipes.err, O_CLOEXEC)) {
    throw std::runtime_error("pipe");
  }
  std::vector<char*> argv, envp;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  ChildSetup setup{options.asRoot ? 0 : ServiceUser::uid(), options.asRoot ? 0 : ServiceUser::gid(),
                   options.stdinMode == ServiceOptions::Stdin::devNull, std::nullopt};
  if (options.descriptorLimit) {
    setup.limit = rlimit{*options.descriptorLimit, *options.descriptorLimit};
  }

  startedAt_ = Clock::now();
  pid_ = ::fork();
  if (pid_ < 0) throw std::runtime_error("fork");
  if (pid_ == 0) execChild(setup, pipes, argv.data(), envp.data());
  ::close(pipes.in[0]);
  ::close(pipes.out[1]);
  ::close(pipes.err[1]);
  stdinFd_ = pipes.in[1];
  stdoutFd_ = pipes.out[0];
  stderrFd_ = pipes.err[0];
  ::fcntl(stdoutFd_, F_SETFL, O_NONBLOCK);
  ::fcntl(stderrFd_, F_SETFL, O_NONBLOCK);
  if (setup.devNull) closeStdin();
}

ServiceProcess::~ServiceProcess() {
  if (running()) {
    ::kill(pid_, SIGKILL);
    waitExit(5s);
  }
  // The service never writes to standard error; a sanitizer report would land there too.
  EXPECT_EQ(standardError(), "") << "standard error of the service";
  for (int fd : {stdinFd_, stdoutFd_, stderrFd_}) {
    if (fd >= 0) ::close(fd);
  }
}

std::optional<std::string> ServiceProcess::readLine(std::chrono::milliseconds timeout) {
  return out_.readLine(stdoutFd_, timeout);
}

std::optional<nlohmann::json> ServiceProcess::readEvent(std::chrono::milliseconds timeout) {
  auto line = readLine(timeout);
  if (!line) return std::nullopt;
  return nlohmann::json::parse(*line);
}

std::string ServiceProcess::readRest(std::chrono::milliseconds timeout) {
  std::string rest;
  while (auto line = readLine(timeout)) rest += *line + "\n";
  rest += out_.takeRest();
  return rest;
}

void ServiceProcess::awaitReady() {
  auto line = readLine(10s);
  if (!line) throw std::runtime_error("the service wrote no first line");
  auto event = nlohmann::json::parse(*line);
  if (event.value("type", "") != "ready") throw std::runtime_error("not ready: " + *line);
}

void ServiceProcess::awaitEventualReady(std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (Clock::now() < deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    auto event = readEvent(left);
    if (!event) break;
    if (event->value("type", "") == "ready") return;
  }
  throw std::runtime_error("the service did not become ready");
}

std::optional<int> ServiceProcess::waitExit(std::chrono::milliseconds timeout) {
  if (status_) return status_;
  auto deadline = Clock::now() + timeout;
  for (;;) {
    int status = 0;
    pid_t r = ::waitpid(pid_, &status, WNOHANG);
    if (r == pid_) {
      status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      return status_;
    }
    if (Clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(2ms);
  }
}

bool ServiceProcess::running() {
  return !status_ && !waitExit(0ms);
}

void ServiceProcess::signal(int sig) {
  ::kill(pid_, sig);
}

void ServiceProcess::closeStdin() {
  if (stdinFd_ >= 0) ::close(stdinFd_);
  stdinFd_ = -1;
}

void ServiceProcess::writeStdin(const std::string& bytes) {
  [[maybe_unused]] ssize_t n = ::write(stdinFd_, bytes.data(), bytes.size());
}

std::string ServiceProcess::standardError() {
  std::string text;
  char chunk[4096];
  ssize_t got;
  while ((got = ::read(stderrFd_, chunk, sizeof(chunk))) > 0)
    text.append(chunk, static_cast<std::size_t>(got));
  return text;
}

int ServiceProcess::openDescriptors() const {
  int count = 0;
  auto list = [&] {
    std::error_code ec;
    for (auto it = std::filesystem::directory_iterator("/proc/" + std::to_string(pid_) + "/fd", ec);
         !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
      ++count;
    }
  };
  if (ServiceUser::privileged()) {
    ServiceUser::asRoot(list);
  } else {
    list();
  }
  return count;
}

}  // namespace virelo::test
