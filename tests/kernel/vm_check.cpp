// The checks inside the test VM. Run as root by the VM's init; starts the real service as an
// unprivileged user (uid and gid 1000, the group that the init gives /dev/uhid) with the Linux
// host, plays its client over the socket, and watches the devices only through the kernel's own
// interfaces: the names and ids under /sys, evdev events and key state on /dev/input/event*, and
// get-report requests on /dev/hidraw*. Prints one "ok - ..." or "not ok - ..." line per check
// and, last, "VIRELO_KERNEL_TEST_RESULT=PASS" or "=FAIL"; exits 0 when every check passed.
//
// Usage: uhid_vm_check <service-program>
//
// The service is reached through ServiceUnderTest; RealService starts the service binary the way
// its parent application does (private socket directory, token in the environment, a pipe on
// standard input kept open, the ready line on standard output) and drives one client connection.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <grp.h>
#include <linux/hidraw.h>
#include <linux/input.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/test_client.h"

namespace {

using virelo::test::TestClient;

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

constexpr uid_t serviceUser = 1000;
constexpr uid_t strangerUser = 2000;
const char* const deviceNames[] = {"Virelo Keyboard", "Virelo Mouse", "Virelo Media"};

int failures = 0;

void check(bool passed, const std::string& what) {
  std::cout << (passed ? "ok - " : "not ok - ") << what << std::endl;
  if (!passed) ++failures;
}

void note(const std::string& text) {
  std::cout << "# " << text << std::endl;
}

// A child process with its standard input, output and error on pipes.
struct Child {
  pid_t pid = -1;
  int in = -1;   // we write its standard input
  int out = -1;  // we read its standard output
  int err = -1;  // we read its standard error
  std::string buffered;

  void closeIn() {
    if (in >= 0) ::close(in);
    in = -1;
  }
  void closePipes() {
    closeIn();
    if (out >= 0) ::close(out);
    if (err >= 0) ::close(err);
    out = err = -1;
  }
};

Child spawnAs(uid_t uid, gid_t gid, const std::vector<std::string>& argv,
              const std::vector<std::string>& environment) {
  int toChild[2], fromChild[2], errors[2];
  if (::pipe2(toChild, O_CLOEXEC) != 0 || ::pipe2(fromChild, O_CLOEXEC) != 0 ||
      ::pipe2(errors, O_CLOEXEC) != 0) {
    throw std::runtime_error("pipe");
  }
  pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork");
  if (pid == 0) {
    ::dup2(toChild[0], 0);
    ::dup2(fromChild[1], 1);
    ::dup2(errors[1], 2);
    if (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0) _exit(126);
    std::vector<char*> args, env;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    for (const auto& e : environment) env.push_back(const_cast<char*>(e.c_str()));
    env.push_back(nullptr);
    ::execve(args[0], args.data(), env.data());
    _exit(127);
  }
  ::close(toChild[0]);
  ::close(fromChild[1]);
  ::close(errors[1]);
  Child child;
  child.pid = pid;
  child.in = toChild[1];
  child.out = fromChild[0];
  child.err = errors[0];
  return child;
}

// The next line of the child's standard output; nullopt on timeout or at its end.
std::optional<std::string> readLine(Child& child, int timeoutMs) {
  auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    auto nl = child.buffered.find('\n');
    if (nl != std::string::npos) {
      std::string line = child.buffered.substr(0, nl);
      child.buffered.erase(0, nl + 1);
      return line;
    }
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return std::nullopt;
    pollfd p{child.out, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
    char chunk[256];
    ssize_t n = ::read(child.out, chunk, sizeof chunk);
    if (n <= 0) return std::nullopt;
    child.buffered.append(chunk, static_cast<std::size_t>(n));
  }
}

// Everything the child wrote to standard error; call after it ended.
std::string readAll(int fd) {
  std::string text;
  char chunk[256];
  ssize_t n;
  while ((n = ::read(fd, chunk, sizeof chunk)) > 0) text.append(chunk, static_cast<std::size_t>(n));
  return text;
}

// The exit status of the child, or nullopt when it has not ended within the timeout.
std::optional<int> waitExit(pid_t pid, int timeoutMs) {
  auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    int status = 0;
    pid_t done = ::waitpid(pid, &status, WNOHANG);
    if (done == pid) return status;
    if (done < 0 || Clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

// A token of 64 lower-case hexadecimal digits from the kernel's random source.
std::string randomToken() {
  std::uint8_t bytes[32];
  if (::getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes)) {
    throw std::runtime_error("getrandom");
  }
  std::string text;
  const char* digits = "0123456789abcdef";
  for (auto b : bytes) {
    text += digits[b >> 4];
    text += digits[b & 15];
  }
  return text;
}

// Runs fn with the effective ids of `uid`/`gid`, then becomes root again. The checks are single
// threaded, so the switch affects nothing else.
template <typename F>
auto asUser(uid_t uid, gid_t gid, F fn) {
  struct Back {
    ~Back() {
      if (::seteuid(0) != 0 || ::setegid(0) != 0) std::abort();
    }
  } back;
  if (::setegid(gid) != 0 || ::seteuid(uid) != 0) throw std::runtime_error("seteuid");
  return fn();
}

// The service as the checks see it: it publishes the three devices and takes one client's input.
class ServiceUnderTest {
 public:
  virtual ~ServiceUnderTest() = default;
  // Starts the service as `uid`/`gid`; true once it reports its devices ready.
  virtual bool start(uid_t uid, gid_t gid) = 0;
  virtual pid_t pid() const = 0;
  virtual bool keyboard(int modifiers, const std::vector<int>& keys) = 0;
  virtual bool buttons(int mask) = 0;
  virtual bool move(int dx, int dy) = 0;
  virtual bool wheel(int steps) = 0;
  virtual bool consumer(const std::vector<int>& usages) = 0;
  // The client goes away without releasing anything itself.
  virtual bool disconnect() = 0;
};

const char* const readyLine =
    R"({"backend":"corehid","ok":true,"protocol":1,"ready":true,"type":"ready"})";

// The real service binary with the Linux host ("VL_HOST=uhid") and the "corehid" backend. Its
// socket lives in a directory private to the service user; the client connects as that user
// (the service admits only peers of its own user) and authenticates with the token. Commands
// after a disconnect() open a new connection.
class RealService final : public ServiceUnderTest {
 public:
  explicit RealService(std::string program) : program_(std::move(program)) {}
  ~RealService() override {
    client_.reset();
    child_.closePipes();
    // Still running (not yet reaped by the checks): kill it.
    if (child_.pid > 0 && ::waitpid(child_.pid, nullptr, WNOHANG) == 0) {
      ::kill(child_.pid, SIGKILL);
      ::waitpid(child_.pid, nullptr, 0);
    }
    if (!dir_.empty()) {
      ::unlink((dir_ + "/s").c_str());
      ::rmdir(dir_.c_str());
    }
  }

  bool start(uid_t uid, gid_t gid) override {
    if (!launch(uid, gid)) return false;
    auto line = readLine(child_, 60000);
    note("service says: " + line.value_or("<nothing>"));
    return line == readyLine;
  }
  // Starts the service without waiting for anything; firstLine() then reads its first line.
  bool launch(uid_t uid, gid_t gid) {
    uid_ = uid;
    gid_ = gid;
    char pattern[] = "/tmp/virelo-XXXXXX";
    if (::mkdtemp(pattern) == nullptr || ::chown(pattern, uid, gid) != 0 ||
        ::chmod(pattern, 0700) != 0) {
      note(std::string("cannot make the socket directory: ") + std::strerror(errno));
      return false;
    }
    dir_ = pattern;
    token_ = randomToken();
    child_ = spawnAs(uid, gid, {program_, "--socket", dir_ + "/s", "--backend", "corehid"},
                     {"PATH=/bin", "VL_HOST=uhid", "VL_COREHID_TOKEN=" + token_});
    return true;
  }
  std::optional<std::string> firstLine() { return readLine(child_, 60000); }
  pid_t pid() const override { return child_.pid; }
  Child& child() { return child_; }

  bool keyboard(int modifiers, const std::vector<int>& keys) override {
    return command({{"cmd", "keyboard"}, {"modifiers", modifiers}, {"keys", keys}});
  }
  bool buttons(int mask) override { return command({{"cmd", "buttons"}, {"buttons", mask}}); }
  bool move(int dx, int dy) override { return command({{"cmd", "move"}, {"dx", dx}, {"dy", dy}}); }
  bool wheel(int steps) override { return command({{"cmd", "wheel"}, {"amount", steps}}); }
  bool consumer(const std::vector<int>& usages) override {
    return command({{"cmd", "consumer"}, {"usages", usages}});
  }
  bool disconnect() override {
    if (!client_) return false;
    client_.reset();
    return true;
  }

 private:
  // Connects as the service user and says hello; false when the service does not accept us.
  bool connect() {
    try {
      client_ = asUser(uid_, gid_, [&] { return std::make_unique<TestClient>(dir_ + "/s"); });
    } catch (const std::exception& e) {
      note(std::string("cannot connect: ") + e.what());
      return false;
    }
    auto reply = exchange({{"cmd", "hello"}, {"token", token_}});
    nlohmann::json expected = {
        {"ok", true}, {"ready", true}, {"backend", "corehid"}, {"protocol", 1}};
    if (reply != expected) {
      note("hello answered " + (reply ? reply->dump() : std::string("<nothing>")));
      client_.reset();
      return false;
    }
    return true;
  }

  std::optional<nlohmann::json> exchange(const nlohmann::json& request) {
    client_->send(request);
    auto line = client_->readLine(std::chrono::seconds(30));
    if (!line) return std::nullopt;
    return nlohmann::json::parse(*line, nullptr, false);
  }

  bool command(const nlohmann::json& request) {
    if (!client_ && !connect()) return false;
    auto reply = exchange(request);
    nlohmann::json acknowledged = {{"ok", true}, {"ready", true}};
    if (reply != acknowledged) {
      note(request.dump() + " answered " + (reply ? reply->dump() : std::string("<nothing>")));
      return false;
    }
    return true;
  }

  std::string program_;
  uid_t uid_ = 0;
  gid_t gid_ = 0;
  std::string dir_;
  std::string token_;
  Child child_;
  std::unique_ptr<TestClient> client_;
};

std::string readFirstLine(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  return line;
}

std::vector<std::string> listDir(const std::string& path) {
  std::vector<std::string> names;
  if (DIR* dir = ::opendir(path.c_str())) {
    while (dirent* e = ::readdir(dir)) names.push_back(e->d_name);
    ::closedir(dir);
  }
  return names;
}

std::optional<std::string> findEvdev(const std::string& name) {
  for (const auto& entry : listDir("/sys/class/input")) {
    if (entry.rfind("event", 0) != 0) continue;
    if (readFirstLine("/sys/class/input/" + entry + "/device/name") == name) {
      return "/dev/input/" + entry;
    }
  }
  return std::nullopt;
}

std::optional<std::string> findHidraw(const std::string& name) {
  for (const auto& entry : listDir("/sys/class/hidraw")) {
    if (entry.rfind("hidraw", 0) != 0) continue;
    std::ifstream in("/sys/class/hidraw/" + entry + "/device/uevent");
    std::string line;
    while (std::getline(in, line)) {
      if (line == "HID_NAME=" + name) return "/dev/" + entry;
    }
  }
  return std::nullopt;
}

template <typename F>
bool waitFor(F condition, int timeoutMs) {
  auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!condition()) {
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

struct Expected {
  std::uint16_t type, code;
  std::int32_t value;
};

// Reads events until each expected one has been seen (in any order). Synchronisation and scan
// events and key repeats are skipped; anything else unexpected is only reported.
bool expectEvents(int fd, std::vector<Expected> expected, const std::string& what) {
  std::ostringstream seen;
  auto deadline = Clock::now() + std::chrono::seconds(15);
  while (!expected.empty() && Clock::now() < deadline) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 100) <= 0) continue;
    input_event events[64];
    ssize_t n = ::read(fd, events, sizeof events);
    if (n <= 0) continue;
    for (std::size_t i = 0; i < static_cast<std::size_t>(n) / sizeof(input_event); ++i) {
      const auto& e = events[i];
      if (e.type == EV_SYN || e.type == EV_MSC || (e.type == EV_KEY && e.value == 2)) continue;
      seen << " " << e.type << ":" << e.code << "=" << e.value;
      for (auto it = expected.begin(); it != expected.end(); ++it) {
        if (it->type == e.type && it->code == e.code && it->value == e.value) {
          expected.erase(it);
          break;
        }
      }
    }
  }
  if (!expected.empty()) note(what + ": events seen:" + seen.str());
  return expected.empty();
}

// Reads events until the relative motion on X and Y adds up to (dx, dy): one move may arrive as
// several reports. Anything else is skipped.
bool expectMotion(int fd, int dx, int dy, const std::string& what) {
  int x = 0, y = 0;
  std::ostringstream seen;
  auto deadline = Clock::now() + std::chrono::seconds(15);
  while ((x != dx || y != dy) && Clock::now() < deadline) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 100) <= 0) continue;
    input_event events[64];
    ssize_t n = ::read(fd, events, sizeof events);
    if (n <= 0) continue;
    for (std::size_t i = 0; i < static_cast<std::size_t>(n) / sizeof(input_event); ++i) {
      const auto& e = events[i];
      if (e.type != EV_REL) continue;
      seen << " " << e.code << "=" << e.value;
      if (e.code == REL_X) x += e.value;
      if (e.code == REL_Y) y += e.value;
    }
  }
  if (x != dx || y != dy) note(what + ": relative events seen:" + seen.str());
  return x == dx && y == dy;
}

// Drains events that are already queued.
void drain(int fd) {
  input_event events[64];
  while (::read(fd, events, sizeof events) > 0) {
  }
}

bool anyKeyDown(int fd) {
  unsigned char bits[KEY_MAX / 8 + 1] = {};
  if (::ioctl(fd, EVIOCGKEY(sizeof bits), bits) < 0) return true;
  for (unsigned char b : bits) {
    if (b != 0) return true;
  }
  return false;
}

// A get-report through hidraw: `request` is HIDIOCGINPUT or HIDIOCGOUTPUT of `size` bytes. The
// size is one more than the report: hidraw asks for room for a report number (it refuses sizes
// below 2), and a device without report IDs answers with the bare report.
std::optional<Bytes> hidGet(int fd, unsigned long request, std::size_t size, int* error) {
  Bytes buffer(size, 0);  // byte 0 is the report number: 0, no report IDs
  int n = ::ioctl(fd, request, buffer.data());
  if (n < 0) {
    if (error) *error = errno;
    return std::nullopt;
  }
  buffer.resize(static_cast<std::size_t>(n));
  return buffer;
}

std::string hex(const std::optional<Bytes>& bytes) {
  if (!bytes) return "<error>";
  std::ostringstream out;
  for (auto b : *bytes) out << std::hex << (b < 16 ? "0" : "") << int(b);
  return out.str();
}

bool writeLed(int fd, int led, int value) {
  input_event events[2] = {};
  events[0].type = EV_LED;
  events[0].code = static_cast<std::uint16_t>(led);
  events[0].value = value;
  events[1].type = EV_SYN;
  events[1].code = SYN_REPORT;
  return ::write(fd, events, sizeof events) == static_cast<ssize_t>(sizeof events);
}

std::string uidOf(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("Uid:", 0) == 0) {
      std::istringstream fields(line.substr(4));
      std::string real;
      fields >> real;
      return real;
    }
  }
  return "?";
}

int finish() {
  std::cout << "VIRELO_KERNEL_TEST_RESULT=" << (failures == 0 ? "PASS" : "FAIL") << std::endl;
  return failures == 0 ? 0 : 1;
}

// Waits for the three devices to appear with evdev and hidraw nodes; fills in their paths.
bool awaitDevices(std::string (&evdevPath)[3], std::string (&hidrawPath)[3]) {
  return waitFor(
      [&] {
        for (int i = 0; i < 3; ++i) {
          auto e = findEvdev(deviceNames[i]);
          auto h = findHidraw(deviceNames[i]);
          if (!e || !h || ::access(e->c_str(), F_OK) != 0 || ::access(h->c_str(), F_OK) != 0) {
            return false;
          }
          evdevPath[i] = *e;
          hidrawPath[i] = *h;
        }
        return true;
      },
      30000);
}

bool devicesGone() {
  return waitFor(
      [] {
        for (const char* name : deviceNames) {
          if (findEvdev(name) || findHidraw(name)) return false;
        }
        return true;
      },
      15000);
}

// The devices in the order of deviceNames, and their evdev and hidraw nodes.
constexpr int kKeyboard = 0, kMouse = 1, kMedia = 2;
struct Nodes {
  int ev[3];
  int raw[3];
};

// A user without access to /dev/uhid fails the capability probe: the service refuses to start.
void checkStrangerRefused(const std::string& program) {
  RealService stranger(program);
  std::optional<std::string> line;
  if (stranger.launch(strangerUser, strangerUser)) line = stranger.firstLine();
  auto status = waitExit(stranger.pid(), 30000);
  note("as uid 2000 the service says: " + line.value_or("<nothing>"));
  check(
      line == R"({"backend":"corehid","error":"virtual_hid_authorization_required","ready":false,"type":"status"})" &&
          status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0 && devicesGone(),
      "a user without access to /dev/uhid is refused the devices (exit 0)");
}

// The three devices appear under their names, with evdev and hidraw nodes, which are opened.
std::optional<Nodes> openDevices() {
  std::string evdevPath[3], hidrawPath[3];
  bool appeared = awaitDevices(evdevPath, hidrawPath);
  check(appeared, "Virelo Keyboard, Virelo Mouse and Virelo Media appear as input devices");
  if (!appeared) return std::nullopt;
  Nodes nodes;
  for (int i = 0; i < 3; ++i) {
    note(std::string(deviceNames[i]) + ": " + evdevPath[i] + ", " + hidrawPath[i]);
    nodes.ev[i] = ::open(evdevPath[i].c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    nodes.raw[i] = ::open(hidrawPath[i].c_str(), O_RDWR | O_CLOEXEC);
    check(nodes.ev[i] >= 0 && nodes.raw[i] >= 0,
          std::string("the nodes of ") + deviceNames[i] + " open");
  }
  return nodes;
}

void checkIdentities(const Nodes& nodes) {
  for (int i = 0; i < 3; ++i) {
    input_id id{};
    ::ioctl(nodes.ev[i], EVIOCGID, &id);
    char uniq[64] = {};
    ::ioctl(nodes.ev[i], EVIOCGUNIQ(sizeof uniq - 1), uniq);
    std::string ending = i == kKeyboard ? "corehid.keyboard"
                         : i == kMouse  ? "corehid.mouse"
                                        : "corehid.media";
    std::string u = uniq;
    check(id.bustype == BUS_VIRTUAL && id.vendor == 0 && id.product == i + 1 &&
              u.size() >= ending.size() &&
              u.compare(u.size() - ending.size(), ending.size(), ending) == 0,
          std::string(deviceNames[i]) + " has bus virtual, vendor 0, product " +
              std::to_string(i + 1) + " and its unique identifier (" + u + ")");
  }
}

// Get-report of the input reports before any input: all zero.
void checkInitialReports(const Nodes& nodes) {
  auto k = hidGet(nodes.raw[kKeyboard], HIDIOCGINPUT(34), 34, nullptr);
  auto m = hidGet(nodes.raw[kMouse], HIDIOCGINPUT(5), 5, nullptr);
  auto c = hidGet(nodes.raw[kMedia], HIDIOCGINPUT(2), 2, nullptr);
  check(k == Bytes(33, 0) && m == Bytes(4, 0) && c == Bytes(1, 0),
        "get-report of each input report through hidraw starts all zero (" + hex(k) + " " + hex(m) +
            " " + hex(c) + ")");
}

void checkKeyboard(RealService& service, const Nodes& nodes) {
  check(service.keyboard(0x02, {0x04}) &&
            expectEvents(nodes.ev[kKeyboard], {{EV_KEY, KEY_LEFTSHIFT, 1}, {EV_KEY, KEY_A, 1}},
                         "keyboard"),
        "left shift and A arrive as key presses");
  {
    Bytes expected(33, 0);
    expected[0] = 0x02;
    expected[1] = 0x04;
    auto k = hidGet(nodes.raw[kKeyboard], HIDIOCGINPUT(34), 34, nullptr);
    check(k == expected, "get-report of the keyboard's input report returns it (" + hex(k) + ")");
  }
  check(service.keyboard(0, {}) &&
            expectEvents(nodes.ev[kKeyboard], {{EV_KEY, KEY_LEFTSHIFT, 0}, {EV_KEY, KEY_A, 0}},
                         "release") &&
            !anyKeyDown(nodes.ev[kKeyboard]),
        "releasing them arrives as key releases and leaves no key down");
}

void checkMouse(RealService& service, const Nodes& nodes) {
  check(service.buttons(1) && expectEvents(nodes.ev[kMouse], {{EV_KEY, BTN_LEFT, 1}}, "button"),
        "button 1 arrives as BTN_LEFT down");
  check(service.move(5, -3) &&
            expectEvents(nodes.ev[kMouse], {{EV_REL, REL_X, 5}, {EV_REL, REL_Y, -3}}, "move"),
        "a move of (5, -3) arrives as relative motion");
  {
    auto m = hidGet(nodes.raw[kMouse], HIDIOCGINPUT(5), 5, nullptr);
    check(m == Bytes({1, 0, 0, 0}),
          "after the move, get-report of the mouse returns the rest report (" + hex(m) + ")");
  }
  check(service.move(127, -100) && service.move(73, -60) && service.move(-10, 10) &&
            expectMotion(nodes.ev[kMouse], 190, -150, "long move"),
        "a move of (190, -150) made of three commands arrives as relative motion adding up to it");
  check(service.wheel(2) && expectEvents(nodes.ev[kMouse], {{EV_REL, REL_WHEEL, 2}}, "wheel"),
        "two wheel steps arrive as REL_WHEEL 2");
  check(
      service.wheel(-1) && expectEvents(nodes.ev[kMouse], {{EV_REL, REL_WHEEL, -1}}, "wheel back"),
      "one wheel step back arrives as REL_WHEEL -1");
  check(service.buttons(0) &&
            expectEvents(nodes.ev[kMouse], {{EV_KEY, BTN_LEFT, 0}}, "button up") &&
            !anyKeyDown(nodes.ev[kMouse]),
        "releasing button 1 arrives as BTN_LEFT up");
  check(service.buttons(2) &&
            expectEvents(nodes.ev[kMouse], {{EV_KEY, BTN_RIGHT, 1}}, "button 2") &&
            service.buttons(0) &&
            expectEvents(nodes.ev[kMouse], {{EV_KEY, BTN_RIGHT, 0}}, "button 2 up"),
        "button 2 arrives as BTN_RIGHT down and up");
}

void checkMedia(RealService& service, const Nodes& nodes) {
  check(service.consumer({0xE9}) &&
            expectEvents(nodes.ev[kMedia], {{EV_KEY, KEY_VOLUMEUP, 1}}, "volume up"),
        "volume increment arrives as KEY_VOLUMEUP");
  check(service.consumer({0xCD, 0xE2}) &&
            expectEvents(
                nodes.ev[kMedia],
                {{EV_KEY, KEY_VOLUMEUP, 0}, {EV_KEY, KEY_PLAYPAUSE, 1}, {EV_KEY, KEY_MUTE, 1}},
                "play and mute"),
        "play/pause and mute arrive as KEY_PLAYPAUSE and KEY_MUTE");
  check(service.consumer({}) &&
            expectEvents(nodes.ev[kMedia], {{EV_KEY, KEY_PLAYPAUSE, 0}, {EV_KEY, KEY_MUTE, 0}},
                         "media up") &&
            !anyKeyDown(nodes.ev[kMedia]),
        "releasing the media keys leaves none down");
}

// A client that goes away leaves nothing pressed.
void checkDisconnect(RealService& service, const Nodes& nodes) {
  bool held = service.keyboard(0x01, {0x2C}) && service.buttons(1) && service.consumer({0xE2}) &&
              expectEvents(nodes.ev[kKeyboard], {{EV_KEY, KEY_LEFTCTRL, 1}, {EV_KEY, KEY_SPACE, 1}},
                           "hold") &&
              expectEvents(nodes.ev[kMouse], {{EV_KEY, BTN_LEFT, 1}}, "hold") &&
              expectEvents(nodes.ev[kMedia], {{EV_KEY, KEY_MUTE, 1}}, "hold");
  check(held, "control, space, button 1 and mute are held");
  check(service.disconnect() &&
            expectEvents(nodes.ev[kKeyboard], {{EV_KEY, KEY_LEFTCTRL, 0}, {EV_KEY, KEY_SPACE, 0}},
                         "drop") &&
            expectEvents(nodes.ev[kMouse], {{EV_KEY, BTN_LEFT, 0}}, "drop") &&
            expectEvents(nodes.ev[kMedia], {{EV_KEY, KEY_MUTE, 0}}, "drop") &&
            !anyKeyDown(nodes.ev[kKeyboard]) && !anyKeyDown(nodes.ev[kMouse]) &&
            !anyKeyDown(nodes.ev[kMedia]),
        "a client that disconnects leaves nothing pressed");
}

// LEDs: written on the keyboard's evdev node or its hidraw node, they reach the keyboard's
// delegate as an output report, and a get-report of the output report through hidraw reads them
// back.
void checkLeds(const Nodes& nodes) {
  std::optional<Bytes> leds;
  // Whether the LED byte `expected` reads back within 15 s once `written`.
  auto readsBack = [&](bool written, std::uint8_t expected) {
    return written && waitFor(
                          [&] {
                            leds = hidGet(nodes.raw[kKeyboard], HIDIOCGOUTPUT(2), 2, nullptr);
                            return leds == Bytes{expected};
                          },
                          15000);
  };
  bool seen = readsBack(writeLed(nodes.ev[kKeyboard], LED_CAPSL, 1), 0x02);
  check(seen,
        "Caps Lock written on evdev reads back as LED byte 02 through hidraw (" + hex(leds) + ")");
  seen = readsBack(writeLed(nodes.ev[kKeyboard], LED_NUML, 1), 0x03);
  check(seen, "Num Lock added reads back as 03 (" + hex(leds) + ")");
  // A writer on hidraw (hidapi, for one) puts report number 0 in front of the report.
  const std::uint8_t scrollLockOnly[2] = {0x00, 0x04};
  seen = readsBack(::write(nodes.raw[kKeyboard], scrollLockOnly, sizeof scrollLockOnly) == 2, 0x04);
  check(seen, "LEDs 00 04 written on hidraw read back as 04 (" + hex(leds) + ")");
}

// Requests the delegates refuse fail in the caller.
void checkRefusals(const Nodes& nodes) {
  int error = 0;
  auto refused = hidGet(nodes.raw[kMouse], HIDIOCGOUTPUT(2), 2, &error);
  check(!refused && error == EIO,
        "a get-report the delegate refuses (the mouse's output report) fails with EIO");
  // A set-report of a feature report reaches the delegate as a set-report request, which it
  // refuses; the kernel hands the refusal back to the caller.
  std::uint8_t feature[2] = {0, 1};
  int result = ::ioctl(nodes.raw[kKeyboard], HIDIOCSFEATURE(2), feature);
  error = errno;
  check(result < 0 && error == EIO,
        "a set-report the delegate refuses (a keyboard feature report) fails with EIO");
}

// End of file on standard input is the parent's order to stop: exit status 0, nothing more on
// standard output or standard error, and the devices are gone.
void checkStopOnEndOfInput(RealService& service) {
  Child& child = service.child();
  child.closeIn();
  auto rest = readLine(child, 30000);
  auto status = waitExit(child.pid, 30000);
  bool gone = devicesGone();
  std::string errors = readAll(child.err);
  check(
      status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0 && !rest && errors.empty() && gone,
      "closing the service's standard input ends it with status 0 and removes the devices" +
          std::string(rest ? " (it wrote: " + *rest + ")" : "") +
          (errors.empty() ? "" : " (standard error: " + errors + ")"));
}

// SIGKILL: nothing of the service runs any more, and the kernel removes the devices when their
// descriptors close with the process.
void checkKill(const std::string& program) {
  std::string evdevPath[3], hidrawPath[3];
  RealService killed(program);
  if (!killed.start(serviceUser, serviceUser) || !awaitDevices(evdevPath, hidrawPath)) {
    check(false, "the service starts again with its devices");
    return;
  }
  ::kill(killed.pid(), SIGKILL);
  auto status = waitExit(killed.pid(), 30000);
  check(status && WIFSIGNALED(*status) && devicesGone(),
        "killing the service with SIGKILL removes the three devices");
}

// The per-user session: `virelo session` run as uid 1000 with nothing but its runtime directory
// creates the devices and publishes where it listens; `virelo type` finds it without any variable
// and the keys arrive; SIGTERM stops it in order, removing the devices and the published file.
void checkSession(const std::string& tool) {
  const std::string runtime = "/tmp/run-1000";
  if (::mkdir(runtime.c_str(), 0700) != 0 ||
      ::chown(runtime.c_str(), serviceUser, serviceUser) != 0) {
    check(false, "the session's runtime directory can be made");
    return;
  }
  const std::vector<std::string> env = {"XDG_RUNTIME_DIR=" + runtime, "HOME=/tmp"};
  const std::string published = runtime + "/virelo/session.json";
  Child session = spawnAs(serviceUser, serviceUser, {tool, "session", "--host", "uhid"}, env);
  std::string evdevPath[3], hidrawPath[3];
  bool up = awaitDevices(evdevPath, hidrawPath) &&
            waitFor([&] { return ::access(published.c_str(), F_OK) == 0; }, 30000);
  check(up,
        "`virelo session --host uhid` as uid 1000 creates the devices and publishes "
        "session.json");
  if (!up) {
    note("the session says: " + readAll(session.err));
    ::kill(session.pid, SIGKILL);
    waitExit(session.pid, 30000);
    return;
  }
  int keyboard = ::open(evdevPath[kKeyboard].c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  drain(keyboard);
  Child type = spawnAs(serviceUser, serviceUser, {tool, "type", "hi"}, env);
  auto typed = waitExit(type.pid, 30000);
  std::string typeErrors = readAll(type.err);
  check(typed && WIFEXITED(*typed) && WEXITSTATUS(*typed) == 0 &&
            expectEvents(
                keyboard,
                {{EV_KEY, KEY_H, 1}, {EV_KEY, KEY_H, 0}, {EV_KEY, KEY_I, 1}, {EV_KEY, KEY_I, 0}},
                "virelo type hi") &&
            !anyKeyDown(keyboard),
        "`virelo type hi` finds the session without any variable; h and i arrive and nothing "
        "stays held" +
            (typeErrors.empty() ? "" : " (it said: " + typeErrors + ")"));
  ::close(keyboard);
  ::kill(session.pid, SIGTERM);
  auto stopped = waitExit(session.pid, 30000);
  check(stopped && WIFEXITED(*stopped) && WEXITSTATUS(*stopped) == 0 && devicesGone() &&
            ::access(published.c_str(), F_OK) != 0,
        "SIGTERM stops the session with status 0, removing its devices and session.json");
  type.closePipes();
  session.closePipes();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 && argc != 3) {
    std::cerr << "usage: uhid_vm_check <service-program> [<virelo-tool>]\n";
    return 2;
  }
  ::signal(SIGPIPE, SIG_IGN);
  const std::string program = argv[1];
  checkStrangerRefused(program);

  RealService service(program);
  if (!service.start(serviceUser, serviceUser)) {
    check(false, "the service starts as an unprivileged user and reports itself ready");
    return finish();
  }
  check(true, "the service starts as an unprivileged user and reports itself ready");
  check(uidOf(service.pid()) == std::to_string(serviceUser), "the service runs as uid 1000");
  auto nodes = openDevices();
  if (!nodes) return finish();
  checkIdentities(*nodes);
  checkInitialReports(*nodes);
  for (int fd : nodes->ev) drain(fd);
  checkKeyboard(service, *nodes);
  checkMouse(service, *nodes);
  checkMedia(service, *nodes);
  checkDisconnect(service, *nodes);
  checkLeds(*nodes);
  checkRefusals(*nodes);
  for (int i = 0; i < 3; ++i) {
    ::close(nodes->ev[i]);
    ::close(nodes->raw[i]);
  }
  checkStopOnEndOfInput(service);
  checkKill(program);
  if (argc == 3) checkSession(argv[2]);
  return finish();
}
