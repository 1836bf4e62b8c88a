#include "bench/service_user_programs.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>

#include "tests/support/service_user.h"

namespace virelo::bench {

using test::ServiceUser;

void copyForServiceUser(const std::vector<std::pair<std::string, std::string>>& files) {
  auto copy = [&] {
    for (const auto& [from, to] : files) {
      std::filesystem::copy_file(from, to);
      if (ServiceUser::privileged()) {
        [[maybe_unused]] int a = ::chown(to.c_str(), ServiceUser::uid(), ServiceUser::gid());
      }
    }
  };
  if (ServiceUser::privileged()) {
    ServiceUser::asRoot(copy);
  } else {
    copy();
  }
}

ProgramOutcome runAsServiceUser(const std::vector<std::string>& args,
                                const std::map<std::string, std::string>& env, int timeoutMs) {
  std::vector<std::string> envStrings;
  for (const auto& [k, v] : env) envStrings.push_back(k + "=" + v);
  std::vector<char*> argv, envp;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  for (auto& e : envStrings) envp.push_back(e.data());
  envp.push_back(nullptr);
  int out[2];
  if (::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
  pid_t pid = ::fork();
  if (pid == 0) {
    if (!ServiceUser::becomeInChild(ServiceUser::uid(), ServiceUser::gid())) ::_exit(126);
    int null = ::open("/dev/null", O_RDWR);
    ::dup2(null, 0);
    ::dup2(out[1], 1);
    ::execve(argv[0], argv.data(), envp.data());
    ::_exit(127);
  }
  ::close(out[1]);
  ProgramOutcome outcome;
  pollfd readable{out[0], POLLIN, 0};
  char buffer[4096];
  for (;;) {
    if (::poll(&readable, 1, timeoutMs) != 1) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, nullptr, 0);
      ::close(out[0]);
      throw std::runtime_error(args[0] + " " + args[1] + " hung");
    }
    const ssize_t n = ::read(out[0], buffer, sizeof buffer);
    if (n <= 0) break;
    outcome.output.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(out[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  outcome.succeeded = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return outcome;
}

}  // namespace virelo::bench
