// What the session adds, each figure against its baseline measured in the same run:
//   - `virelo type` of 54 characters finding the session by itself, against the same with the
//     socket and token exported (the tool's whole run, start to exit);
//   - a session's start until it has published its ready service, against the bare service's
//     start-up until its first status line (both started by a parent the same way);
//   - a killed service until the session has published the next one, against the session's
//     first restart wait plus the bare service's start-up;
//   - the idle CPU of a session and its service over a few seconds, against a bare service alone.
// Runs alternate between the figure and its baseline; medians are reported.
//
//   session_bench [--repeat N]   (default 15)
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "bench/process_meter.h"
#include "bench/report_text.h"
#include "session/restart_policy.h"
#include "tests/support/private_dir.h"
#include "tests/support/service_user.h"
#include "virelo/client/launcher.h"

namespace {

using namespace virelo;
using test::ServiceUser;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

const std::string kText = "The quick brown fox jumps over the lazy dog, 54 chars!";

// The tool and the service copied where the service user can run them.
struct Binaries {
  test::PrivateDir dir;
  std::string tool = dir / "virelo";
  std::string service;
  Binaries() {
    auto copy = [&] {
      std::filesystem::copy_file(VIRELO_TOOL_PATH, tool);
      service = client::copyService(VIRELO_SERVICE_PATH, dir.path());
      if (ServiceUser::privileged()) {
        [[maybe_unused]] int a = ::chown(tool.c_str(), ServiceUser::uid(), ServiceUser::gid());
        [[maybe_unused]] int b = ::chown(service.c_str(), ServiceUser::uid(), ServiceUser::gid());
      }
    };
    if (ServiceUser::privileged()) {
      ServiceUser::asRoot(copy);
    } else {
      copy();
    }
  }
};

// Starts a program as the service user; its standard output goes to `out` (-1: /dev/null).
pid_t spawn(const std::vector<std::string>& args, const std::map<std::string, std::string>& env,
            int out = -1) {
  std::vector<std::string> envStrings;
  for (const auto& [k, v] : env) envStrings.push_back(k + "=" + v);
  pid_t pid = ::fork();
  if (pid == 0) {
    if (!ServiceUser::becomeInChild(ServiceUser::uid(), ServiceUser::gid())) ::_exit(126);
    int null = ::open("/dev/null", O_RDWR);
    ::dup2(null, 0);
    ::dup2(out >= 0 ? out : null, 1);
    ::dup2(null, 2);
    std::vector<char*> argv, envp;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    for (auto& e : envStrings) envp.push_back(e.data());
    envp.push_back(nullptr);
    ::execve(argv[0], argv.data(), envp.data());
    ::_exit(127);
  }
  return pid;
}

int waitFor(pid_t pid) {
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// A session in a runtime directory of its own.
class Session {
 public:
  explicit Session(const Binaries& binaries) {
    env_ = {{"XDG_RUNTIME_DIR", runtime_.path()}, {"XDG_CONFIG_HOME", runtime_ / "config"}};
    auto begin = Clock::now();
    pid_ = spawn({binaries.tool, "session", "--host", "sim"}, env_);
    while (!published()) std::this_thread::sleep_for(100us);
    startup_ = bench::micros(Clock::now() - begin);
  }
  ~Session() {
    ::kill(pid_, SIGTERM);
    waitFor(pid_);
  }

  bool published() {
    std::ifstream in(runtime_ / "virelo/session.json");
    info_ = nlohmann::json::parse(in, nullptr, false);
    return info_.is_object();
  }

  const std::map<std::string, std::string>& environment() const { return env_; }
  std::map<std::string, std::string> exported() const {
    auto env = env_;
    env["VIRELO_SOCKET"] = info_["socket"].get<std::string>();
    env["VIRELO_TOKEN"] = info_["token"].get<std::string>();
    return env;
  }
  double startupMicros() const { return startup_; }
  pid_t pid() const { return pid_; }
  pid_t servicePid() const { return info_["pid"].get<pid_t>(); }

  // Kills the service and waits until the session has published the next one.
  double restartMicros() {
    const pid_t killed = servicePid();
    auto begin = Clock::now();
    ::kill(killed, SIGKILL);
    while (!published() || servicePid() == killed) std::this_thread::sleep_for(100us);
    return bench::micros(Clock::now() - begin);
  }

 private:
  test::PrivateDir runtime_;
  std::map<std::string, std::string> env_;
  nlohmann::json info_;
  pid_t pid_ = -1;
  double startup_ = 0;
};

// `virelo start`, the tool's own foreground launcher, until it prints the service's ready event:
// the same two program starts as a session, without the session's work.
double vireloStartMicros(const Binaries& binaries) {
  int out[2];
  if (::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
  auto begin = Clock::now();
  pid_t pid = spawn({binaries.tool, "start"}, {}, out[1]);
  ::close(out[1]);
  std::string text;
  char chunk[512];
  ssize_t n;
  while (text.find("\"ready\"") == std::string::npos &&
         (n = ::read(out[0], chunk, sizeof chunk)) > 0) {
    text.append(chunk, static_cast<std::size_t>(n));
  }
  double micros = bench::micros(Clock::now() - begin);
  ::kill(pid, SIGTERM);
  waitFor(pid);
  ::close(out[0]);
  return micros;
}

double typeMicros(const Binaries& binaries, const std::map<std::string, std::string>& env) {
  auto begin = Clock::now();
  pid_t pid = spawn({binaries.tool, "type", kText}, env);
  if (waitFor(pid) != 0) throw std::runtime_error("virelo type failed");
  return bench::micros(Clock::now() - begin);
}

// A bare service started by a parent in the same way as the session's tool: fork, the service
// user, exec, a pipe on standard input kept open and the first line read from standard output.
class BareService {
 public:
  explicit BareService(const Binaries& binaries) {
    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0)
      throw std::runtime_error("pipe");
    std::string socket = dir_ / "s";
    std::string token = "VL_COREHID_TOKEN=" + std::string(64, 'a');
    auto begin = Clock::now();
    pid_ = ::fork();
    if (pid_ == 0) {
      if (!ServiceUser::becomeInChild(ServiceUser::uid(), ServiceUser::gid())) ::_exit(126);
      ::dup2(in[0], 0);
      ::dup2(out[1], 1);
      const char* argv[] = {
          binaries.service.c_str(), "--socket", socket.c_str(), "--backend", "corehid", nullptr};
      char* envp[] = {token.data(), nullptr};
      ::execve(argv[0], const_cast<char**>(argv), envp);
      ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    stdin_ = in[1];
    stdout_ = out[0];
    char c = 0;
    while (::read(stdout_, &c, 1) == 1 && c != '\n') {
    }
    startup_ = bench::micros(Clock::now() - begin);
  }
  ~BareService() {
    ::close(stdin_);
    waitFor(pid_);
    ::close(stdout_);
  }
  double startupMicros() const { return startup_; }
  pid_t pid() const { return pid_; }

 private:
  test::PrivateDir dir_;
  pid_t pid_ = -1;
  int stdin_ = -1;
  int stdout_ = -1;
  double startup_ = 0;
};

void row(const char* what, double value, double baseline, const char* unit, int decimals) {
  std::printf("| %s | %s %s | %s %s | %s× |\n", what, bench::format(value, decimals).c_str(), unit,
              bench::format(baseline, decimals).c_str(), unit,
              bench::format(value / baseline, 3).c_str());
}

}  // namespace

int main(int argc, char** argv) {
  int repeat = 15;
  if (argc == 3 && std::strcmp(argv[1], "--repeat") == 0) repeat = std::atoi(argv[2]);
  ServiceUser::adopt();
  Binaries binaries;

  std::vector<double> sessionTyping, exportedTyping, sessionStart, bareStart, toolStart, startVerb,
      restart;
  for (int i = 0; i < repeat; ++i) {
    bench::progress("round " + std::to_string(i + 1) + " of " + std::to_string(repeat));
    bareStart.push_back(BareService(binaries).startupMicros());
    // The tool's own start and end, doing nothing: what any program that is started to be the
    // service's parent costs before it can start the service.
    auto begin = Clock::now();
    waitFor(spawn({binaries.tool, "--version"}, {}));
    toolStart.push_back(bench::micros(Clock::now() - begin));
    startVerb.push_back(vireloStartMicros(binaries));
    Session session(binaries);
    sessionStart.push_back(session.startupMicros());
    sessionTyping.push_back(typeMicros(binaries, session.environment()));
    exportedTyping.push_back(typeMicros(binaries, session.exported()));
    restart.push_back(session.restartMicros());
  }

  constexpr auto kIdle = 5s;
  double sessionIdle = 0, bareIdle = 0, sessionOwnIdle = 0;
  {
    Session session(binaries);
    std::this_thread::sleep_for(500ms);
    bench::ProcessMeter parent(session.pid()), service(session.servicePid());
    double parentBefore = parent.scheduledSeconds();
    double serviceBefore = service.scheduledSeconds();
    std::this_thread::sleep_for(kIdle);
    sessionOwnIdle = parent.scheduledSeconds() - parentBefore;
    sessionIdle = sessionOwnIdle + service.scheduledSeconds() - serviceBefore;
  }
  {
    BareService bare(binaries);
    std::this_thread::sleep_for(500ms);
    bench::ProcessMeter service(bare.pid());
    double before = service.scheduledSeconds();
    std::this_thread::sleep_for(kIdle);
    bareIdle = service.scheduledSeconds() - before;
  }

  std::printf("| Figure (median of %d) | Session | Baseline | Ratio |\n|---|---|---|---|\n",
              repeat);
  row("`virelo type` of 54 characters: session found by itself / exported variables",
      median(sessionTyping) / 1000, median(exportedTyping) / 1000, "ms", 2);
  row("start to ready: session / bare service", median(sessionStart) / 1000,
      median(bareStart) / 1000, "ms", 2);
  row("start to ready: session / the tool's own start (`virelo --version`) + bare service",
      median(sessionStart) / 1000, (median(toolStart) + median(bareStart)) / 1000, "ms", 2);
  row("start to ready: session / `virelo start` (tool and service, no session)",
      median(sessionStart) / 1000, median(startVerb) / 1000, "ms", 2);
  const double restartWait =
      std::chrono::duration<double, std::micro>(session::RestartPolicy::kFirstWait).count();
  row("a killed service until the next is published: session / first restart wait + bare service",
      median(restart) / 1000, (restartWait + median(bareStart)) / 1000, "ms", 2);
  row("idle CPU over 5 s: session and service / bare service", sessionIdle * 1000, bareIdle * 1000,
      "ms", 2);
  std::printf("\nThe session process alone used %s ms of CPU over those 5 s.\n",
              bench::format(sessionOwnIdle * 1000, 3).c_str());
  return 0;
}
