#include "tests/controls/controls_desktop.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

#include "virelo/client/x11.h"

#if !defined(VIRELO_CONTROLS_APPS) || !defined(VIRELO_ACCESSIBILITY_MODULE_PATH)
#error "VIRELO_CONTROLS_APPS and VIRELO_ACCESSIBILITY_MODULE_PATH must be defined"
#endif

namespace virelo::test {
namespace {

// Up to when an application must have come up, and its controls must be found.
constexpr auto kStartTimeout = 20s;

std::string environmentValue(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

}  // namespace

FixtureApp::FixtureApp(const std::string& script, const std::vector<std::string>& args) {
  std::vector<std::string> words{kPython, std::string(VIRELO_CONTROLS_APPS) + "/" + script};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  int in[2];
  int out[2];
  if (::pipe2(in, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
  if (::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
  const uid_t uid = ServiceUser::uid();
  const gid_t gid = ServiceUser::gid();
  pid_ = ::fork();
  if (pid_ < 0) throw std::runtime_error("fork");
  if (pid_ == 0) {
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(in[0], STDIN_FILENO);
    ::dup2(out[1], STDOUT_FILENO);
    ::dup2(null, STDERR_FILENO);
    ::setpgid(0, 0);
    if (!ServiceUser::becomeInChild(uid, gid)) ::_exit(126);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(in[0]);
  ::close(out[1]);
  input_ = in[1];
  output_ = out[0];
  // A broken pipe to an application that has ended must not end the test.
  ::signal(SIGPIPE, SIG_IGN);
  auto ready = readLine(kStartTimeout);
  if (!ready || ready->rfind("ready ", 0) != 0) {
    ::kill(-pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }
}

FixtureApp::~FixtureApp() {
  ::close(input_);
  ::close(output_);
  if (pid_ > 0) {
    ::kill(-pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
  }
}

void FixtureApp::send(const std::string& line) {
  const std::string sent = line + "\n";
  if (::write(input_, sent.data(), sent.size()) != static_cast<ssize_t>(sent.size())) {
    throw std::runtime_error("the application does not read its input");
  }
}

std::optional<std::string> FixtureApp::readLine(std::chrono::milliseconds timeout) {
  return reader_.readLine(output_, timeout);
}

std::optional<std::vector<std::string>> FixtureApp::readUntil(const std::string& line,
                                                              std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  std::vector<std::string> before;
  while (auto next = readLine(std::chrono::milliseconds(remainingMs(deadline)))) {
    if (*next == line) return before;
    before.push_back(*next);
  }
  return std::nullopt;
}

std::vector<std::string> FixtureApp::heardSoFar() {
  send("sync");
  auto heard = readUntil("synced");
  if (!heard) throw std::runtime_error("the application does not answer");
  return *heard;
}

std::string FixtureApp::textOf(const std::string& entry) {
  send("text " + entry);
  const std::string prefix = "text " + entry + "=";
  while (auto line = readLine()) {
    if (line->rfind(prefix, 0) == 0) return line->substr(prefix.size());
  }
  throw std::runtime_error("the application does not answer");
}

std::unique_ptr<AccessibleDesktop> ControlsTest::accessible_;

void ControlsTest::stopDesktop() {
  accessible_.reset();
}

void ControlsTest::SetUp() {
  if (!ServiceUser::privileged()) GTEST_SKIP() << "needs root to run the service as its user";
  if (!accessible_) accessible_ = std::make_unique<AccessibleDesktop>(true);
  if (!accessible_->unavailable().empty()) GTEST_SKIP() << accessible_->unavailable();
  service_ = std::make_unique<ServiceProcess>(accessible_->serviceOptions());
  service_->awaitReady();
  client_ = std::make_unique<client::Client>(service_->socketPath());
  client_->hello(service_->token());
}

void ControlsTest::TearDown() {
  if (desktop_) asRoot([&] { desktop_.reset(); });
  client_.reset();
  service_.reset();
  apps_.clear();
}

client::Desktop& ControlsTest::desktop() {
  if (!desktop_) {
    const client::EnvironmentLookup environment = [](const char* name) -> const char* {
      if (std::string_view(name) == "VIRELO_ACCESSIBILITY_MODULE") {
        return VIRELO_ACCESSIBILITY_MODULE_PATH;
      }
      return std::getenv(name);
    };
    asRoot([&] { desktop_.emplace(environment); });
  }
  return *desktop_;
}

client::ControlQuery ControlsTest::query(const std::string& role, const std::string& name,
                                         const std::string& application) {
  client::ControlQuery query;
  query.role = role;
  query.name = client::NameMatch::exactly(name);
  query.application = application;
  return query;
}

FixtureApp& ControlsTest::start(const std::string& script, const std::vector<std::string>& args,
                                const char* application) {
  apps_.push_back(std::make_unique<FixtureApp>(script, args));
  FixtureApp& app = *apps_.back();
  if (app.pid() < 0) throw std::runtime_error(script + " did not come up");
  // Registered on the bus, and its window on the screen.
  asRoot([&] {
    client::waitFor(desktop(), query("push button", "OK", application), false, kStartTimeout);
  });
  return app;
}

FixtureApp& ControlsTest::startGtk(int scale) {
  return start("gtk_controls.py",
               {std::to_string(kWindowX), std::to_string(kWindowY), std::to_string(scale)}, kGtk);
}

FixtureApp& ControlsTest::startQt() {
  return start("qt_controls.py", {std::to_string(kWindowX), std::to_string(kWindowY)}, kQt);
}

bool ControlsTest::qtInstalled() {
  static const bool installed =
      std::system((std::string(kPython) + " -c 'import PyQt5.QtWidgets' 2>/dev/null").c_str()) == 0;
  return installed;
}

client::PointerPosition ControlsTest::pointer() const {
  auto position = client::pointerPosition(accessible_->display().c_str());
  if (!position) throw std::runtime_error("the X server does not tell the pointer's position");
  return *position;
}

std::map<std::string, std::string> ControlsTest::toolEnvironment() const {
  return {{"VIRELO_SOCKET", service_->socketPath()},
          {"VIRELO_TOKEN", service_->token()},
          {"DISPLAY", accessible_->display()},
          {"DBUS_SESSION_BUS_ADDRESS", accessible_->sessionBus()},
          {"HOME", environmentValue("HOME")},
          {"XDG_RUNTIME_DIR", environmentValue("XDG_RUNTIME_DIR")},
          {"VIRELO_ACCESSIBILITY_MODULE", VIRELO_ACCESSIBILITY_MODULE_PATH}};
}

}  // namespace virelo::test
