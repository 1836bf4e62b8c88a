// The checks inside the test VM. Run as root by the VM's init; starts the service as an
// unprivileged user (uid and gid 1000, the group that the init gives /dev/uhid), plays the
// service's client, and watches the devices only through the kernel's own interfaces: the
// names and ids under /sys, evdev events and key state on /dev/input/event*, and get-report
// requests on /dev/hidraw*. Prints one "ok - ..." or "not ok - ..." line per check and, last,
// "VIRELO_KERNEL_TEST_RESULT=PASS" or "=FAIL"; exits 0 when every check passed.
//
// Usage: uhid_vm_check <service-program>
//
// The service is reached through ServiceUnderTest. StandInService drives tests/kernel's stand-in
// (vm_service.cpp), which uses UhidHidService directly. To run the real service instead, add a
// ServiceUnderTest that starts the service binary with "--socket <path> --backend corehid", the
// host variable that selects the Linux devices and VL_COREHID_TOKEN in its environment, waits
// for its ready status line, and drives one client connection: keyboard/buttons/move/wheel/
// consumer become the client's JSON commands and disconnect() closes the client's socket. The
// checks below stay as they are.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <grp.h>
#include <linux/hidraw.h>
#include <linux/input.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

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

// A child process with its standard input and output on pipes.
struct Child {
  pid_t pid = -1;
  int in = -1;   // we write its standard input
  int out = -1;  // we read its standard output
  std::string buffered;

  void closePipes() {
    if (in >= 0) ::close(in);
    if (out >= 0) ::close(out);
    in = out = -1;
  }
};

Child spawnAs(uid_t uid, gid_t gid, const std::vector<std::string>& argv) {
  int toChild[2], fromChild[2];
  if (::pipe2(toChild, O_CLOEXEC) != 0 || ::pipe2(fromChild, O_CLOEXEC) != 0) {
    throw std::runtime_error("pipe");
  }
  pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork");
  if (pid == 0) {
    ::dup2(toChild[0], 0);
    ::dup2(fromChild[1], 1);
    if (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0) _exit(126);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    ::execv(args[0], args.data());
    _exit(127);
  }
  ::close(toChild[0]);
  ::close(fromChild[1]);
  Child child;
  child.pid = pid;
  child.in = toChild[1];
  child.out = fromChild[0];
  return child;
}

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

class StandInService final : public ServiceUnderTest {
 public:
  explicit StandInService(std::string program) : program_(std::move(program)) {}
  ~StandInService() override { child_.closePipes(); }

  bool start(uid_t uid, gid_t gid) override {
    child_ = spawnAs(uid, gid, {program_});
    auto line = readLine(child_, 15000);
    note("service says: " + line.value_or("<nothing>"));
    return line && line->rfind("ready", 0) == 0;
  }
  pid_t pid() const override { return child_.pid; }
  // The stand-in's answer when it could not create its devices.
  std::optional<std::string> firstLine() { return readLine(child_, 15000); }

  bool keyboard(int modifiers, const std::vector<int>& keys) override {
    std::string line = "keyboard " + std::to_string(modifiers);
    for (int k : keys) line += " " + std::to_string(k);
    return command(line);
  }
  bool buttons(int mask) override { return command("buttons " + std::to_string(mask)); }
  bool move(int dx, int dy) override {
    return command("move " + std::to_string(dx) + " " + std::to_string(dy));
  }
  bool wheel(int steps) override { return command("wheel " + std::to_string(steps)); }
  bool consumer(const std::vector<int>& usages) override {
    std::string line = "consumer";
    for (int u : usages) line += " " + std::to_string(u);
    return command(line);
  }
  bool disconnect() override { return command("disconnect"); }

  void spawnOnly(uid_t uid, gid_t gid) { child_ = spawnAs(uid, gid, {program_}); }

 private:
  bool command(const std::string& line) {
    std::string text = line + "\n";
    if (::write(child_.in, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
      return false;
    }
    auto reply = readLine(child_, 5000);
    if (reply != "ok") note("'" + line + "' answered " + reply.value_or("<nothing>"));
    return reply == "ok";
  }

  std::string program_;
  Child child_;
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
  auto deadline = Clock::now() + std::chrono::seconds(5);
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

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: uhid_vm_check <service-program>\n";
    return 2;
  }
  ::signal(SIGPIPE, SIG_IGN);

  // A user without access to /dev/uhid cannot create devices.
  {
    StandInService stranger(argv[1]);
    stranger.spawnOnly(strangerUser, strangerUser);
    auto line = stranger.firstLine();
    int status = 0;
    ::waitpid(stranger.pid(), &status, 0);
    check(line == "refused" && WIFEXITED(status) && WEXITSTATUS(status) == 1,
          "a user without access to /dev/uhid is refused the devices");
  }

  StandInService service(argv[1]);
  if (!service.start(serviceUser, serviceUser)) {
    check(false, "the service starts as an unprivileged user and creates its devices");
    return finish();
  }
  check(uidOf(service.pid()) == std::to_string(serviceUser), "the service runs as uid 1000");

  // The three devices appear under their names, with evdev and hidraw nodes.
  std::string evdevPath[3], hidrawPath[3];
  bool appeared = waitFor(
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
      15000);
  check(appeared, "Virelo Keyboard, Virelo Mouse and Virelo Media appear as input devices");
  if (!appeared) {
    ::kill(service.pid(), SIGKILL);
    return finish();
  }
  int ev[3], raw[3];
  for (int i = 0; i < 3; ++i) {
    note(std::string(deviceNames[i]) + ": " + evdevPath[i] + ", " + hidrawPath[i]);
    ev[i] = ::open(evdevPath[i].c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    raw[i] = ::open(hidrawPath[i].c_str(), O_RDWR | O_CLOEXEC);
    check(ev[i] >= 0 && raw[i] >= 0, std::string("the nodes of ") + deviceNames[i] + " open");
  }
  const int kbd = 0, mouse = 1, media = 2;

  for (int i = 0; i < 3; ++i) {
    input_id id{};
    ::ioctl(ev[i], EVIOCGID, &id);
    char uniq[64] = {};
    ::ioctl(ev[i], EVIOCGUNIQ(sizeof uniq - 1), uniq);
    std::string ending = i == kbd     ? "corehid.keyboard"
                         : i == mouse ? "corehid.mouse"
                                      : "corehid.media";
    std::string u = uniq;
    check(id.bustype == BUS_VIRTUAL && id.vendor == 0 && id.product == i + 1 &&
              u.size() >= ending.size() &&
              u.compare(u.size() - ending.size(), ending.size(), ending) == 0,
          std::string(deviceNames[i]) + " has bus virtual, vendor 0, product " +
              std::to_string(i + 1) + " and its unique identifier (" + u + ")");
  }

  // Get-report of the input reports before any input: all zero.
  {
    auto k = hidGet(raw[kbd], HIDIOCGINPUT(34), 34, nullptr);
    auto m = hidGet(raw[mouse], HIDIOCGINPUT(5), 5, nullptr);
    auto c = hidGet(raw[media], HIDIOCGINPUT(2), 2, nullptr);
    check(k == Bytes(33, 0) && m == Bytes(4, 0) && c == Bytes(1, 0),
          "get-report of each input report through hidraw starts all zero (" + hex(k) + " " +
              hex(m) + " " + hex(c) + ")");
  }
  for (int fd : ev) drain(fd);

  // Keyboard.
  check(service.keyboard(0x02, {0x04}) &&
            expectEvents(ev[kbd], {{EV_KEY, KEY_LEFTSHIFT, 1}, {EV_KEY, KEY_A, 1}}, "keyboard"),
        "left shift and A arrive as key presses");
  {
    Bytes expected(33, 0);
    expected[0] = 0x02;
    expected[1] = 0x04;
    auto k = hidGet(raw[kbd], HIDIOCGINPUT(34), 34, nullptr);
    check(k == expected, "get-report of the keyboard's input report returns it (" + hex(k) + ")");
  }
  check(service.keyboard(0, {}) &&
            expectEvents(ev[kbd], {{EV_KEY, KEY_LEFTSHIFT, 0}, {EV_KEY, KEY_A, 0}}, "release") &&
            !anyKeyDown(ev[kbd]),
        "releasing them arrives as key releases and leaves no key down");

  // Mouse.
  check(service.buttons(1) && expectEvents(ev[mouse], {{EV_KEY, BTN_LEFT, 1}}, "button"),
        "button 1 arrives as BTN_LEFT down");
  check(service.move(5, -3) &&
            expectEvents(ev[mouse], {{EV_REL, REL_X, 5}, {EV_REL, REL_Y, -3}}, "move"),
        "a move of (5, -3) arrives as relative motion");
  {
    auto m = hidGet(raw[mouse], HIDIOCGINPUT(5), 5, nullptr);
    check(m == Bytes({1, 0, 0, 0}),
          "after the move, get-report of the mouse returns the rest report (" + hex(m) + ")");
  }
  check(service.wheel(2) && expectEvents(ev[mouse], {{EV_REL, REL_WHEEL, 2}}, "wheel"),
        "two wheel steps arrive as REL_WHEEL 2");
  check(service.buttons(0) && expectEvents(ev[mouse], {{EV_KEY, BTN_LEFT, 0}}, "button up") &&
            !anyKeyDown(ev[mouse]),
        "releasing button 1 arrives as BTN_LEFT up");

  // Media.
  check(
      service.consumer({0xE9}) && expectEvents(ev[media], {{EV_KEY, KEY_VOLUMEUP, 1}}, "volume up"),
      "volume increment arrives as KEY_VOLUMEUP");
  check(service.consumer({0xCD, 0xE2}) &&
            expectEvents(
                ev[media],
                {{EV_KEY, KEY_VOLUMEUP, 0}, {EV_KEY, KEY_PLAYPAUSE, 1}, {EV_KEY, KEY_MUTE, 1}},
                "play and mute"),
        "play/pause and mute arrive as KEY_PLAYPAUSE and KEY_MUTE");
  check(service.consumer({}) &&
            expectEvents(ev[media], {{EV_KEY, KEY_PLAYPAUSE, 0}, {EV_KEY, KEY_MUTE, 0}},
                         "media up") &&
            !anyKeyDown(ev[media]),
        "releasing the media keys leaves none down");

  // A client that goes away leaves nothing pressed.
  bool held = service.keyboard(0x01, {0x2C}) && service.buttons(1) && service.consumer({0xE2}) &&
              expectEvents(ev[kbd], {{EV_KEY, KEY_LEFTCTRL, 1}, {EV_KEY, KEY_SPACE, 1}}, "hold") &&
              expectEvents(ev[mouse], {{EV_KEY, BTN_LEFT, 1}}, "hold") &&
              expectEvents(ev[media], {{EV_KEY, KEY_MUTE, 1}}, "hold");
  check(held, "control, space, button 1 and mute are held");
  check(service.disconnect() &&
            expectEvents(ev[kbd], {{EV_KEY, KEY_LEFTCTRL, 0}, {EV_KEY, KEY_SPACE, 0}}, "drop") &&
            expectEvents(ev[mouse], {{EV_KEY, BTN_LEFT, 0}}, "drop") &&
            expectEvents(ev[media], {{EV_KEY, KEY_MUTE, 0}}, "drop") && !anyKeyDown(ev[kbd]) &&
            !anyKeyDown(ev[mouse]) && !anyKeyDown(ev[media]),
        "a client that disconnects leaves nothing pressed");

  // LEDs: written on the keyboard's evdev node, they reach the keyboard's delegate as an output
  // report, and a get-report of the output report through hidraw reads them back.
  {
    std::optional<Bytes> leds;
    bool written = writeLed(ev[kbd], LED_CAPSL, 1);
    bool seen = written && waitFor(
                               [&] {
                                 leds = hidGet(raw[kbd], HIDIOCGOUTPUT(2), 2, nullptr);
                                 return leds == Bytes{0x02};
                               },
                               5000);
    check(seen, "Caps Lock written on evdev reads back as LED byte 02 through hidraw (" +
                    hex(leds) + ")");
    written = writeLed(ev[kbd], LED_NUML, 1);
    seen = written && waitFor(
                          [&] {
                            leds = hidGet(raw[kbd], HIDIOCGOUTPUT(2), 2, nullptr);
                            return leds == Bytes{0x03};
                          },
                          5000);
    check(seen, "Num Lock added reads back as 03 (" + hex(leds) + ")");
  }
  {
    int error = 0;
    auto refused = hidGet(raw[mouse], HIDIOCGOUTPUT(2), 2, &error);
    check(!refused && error == EIO,
          "a get-report the delegate refuses (the mouse's output report) fails with EIO");
  }

  {
    // A set-report of a feature report reaches the delegate as a set-report request, which it
    // refuses; the kernel hands the refusal back to the caller.
    std::uint8_t feature[2] = {0, 1};
    int result = ::ioctl(raw[kbd], HIDIOCSFEATURE(2), feature);
    int error = errno;
    check(result < 0 && error == EIO,
          "a set-report the delegate refuses (a keyboard feature report) fails with EIO");
  }

  // Killing the service removes its devices.
  for (int i = 0; i < 3; ++i) {
    ::close(ev[i]);
    ::close(raw[i]);
  }
  ::kill(service.pid(), SIGKILL);
  int status = 0;
  ::waitpid(service.pid(), &status, 0);
  bool gone = waitFor(
      [] {
        for (const char* name : deviceNames) {
          if (findEvdev(name) || findHidraw(name)) return false;
        }
        return true;
      },
      10000);
  check(WIFSIGNALED(status) && gone, "killing the service with SIGKILL removes the three devices");
  return finish();
}
