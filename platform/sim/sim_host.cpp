#include "platform/sim/sim_host.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <sstream>

#include "core/monotonic_clock.h"

namespace virelo::sim {
namespace {

constexpr std::size_t kMaxControlLine = 1 << 20;

std::string envOr(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::string(v) : std::string();
}

bool sendAll(int fd, const std::string& data) {
  std::size_t off = 0;
  while (off < data.size()) {
    ssize_t n = ::send(fd, data.data() + off, data.size() - off, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    off += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

double worldSeconds(const nlohmann::json& value, double fallback) {
  if (value.is_number()) return value.get<double>();
  if (value.is_string()) {
    const auto& s = value.get_ref<const std::string&>();
    if (s == "nan") return std::numeric_limits<double>::quiet_NaN();
    if (s == "inf") return std::numeric_limits<double>::infinity();
    if (s == "-inf") return -std::numeric_limits<double>::infinity();
  }
  return fallback;
}

std::unique_ptr<SimHost> SimHost::fromEnvironment() {
  nlohmann::json world = nlohmann::json::object();
  bool worldError = false;
  std::string worldPath = envOr("VL_SIM_WORLD");
  if (!worldPath.empty()) {
    std::ifstream in(worldPath, std::ios::binary);
    if (in) {
      std::stringstream text;
      text << in.rdbuf();
      auto parsed = nlohmann::json::parse(text.str(), nullptr, false);
      if (parsed.is_object()) {
        world = std::move(parsed);
      } else {
        worldError = true;
      }
    }
  }
  auto host =
      std::make_unique<SimHost>(std::move(world), envOr("VL_SIM_TRACE"), envOr("VL_SIM_CONTROL"));
  if (worldError) host->trace({{"event", "world_error"}, {"path", worldPath}});
  return host;
}

SimHost::SimHost(nlohmann::json world, const std::string& tracePath, std::string controlPath)
    : world_(world.is_object() ? std::move(world) : nlohmann::json::object()),
      controlPath_(std::move(controlPath)) {
  if (!tracePath.empty()) {
    traceFd_ = ::open(tracePath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  }
}

SimHost::~SimHost() {
  stopControl();
  if (traceFd_ >= 0) ::close(traceFd_);
}

void SimHost::trace(nlohmann::json event) {
  if (traceFd_ < 0) return;
  std::lock_guard<std::mutex> guard(traceMutex_);
  // Stamped under the lock so that the times in the file never decrease.
  event["t_ns"] = monotonicNS();
  std::string line = event.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  line.push_back('\n');
  writeLine(line);
}

void SimHost::traceText(std::string_view object) {
  if (traceFd_ < 0) return;
  std::lock_guard<std::mutex> guard(traceMutex_);
  traceLine_.assign(object);
  traceLine_ += ",\"t_ns\":";
  char digits[24];
  auto [end, ec] = std::to_chars(digits, digits + sizeof(digits), monotonicNS());
  traceLine_.append(digits, end);
  traceLine_ += "}\n";
  writeLine(traceLine_);
}

void SimHost::writeLine(const std::string& line) {
  std::size_t off = 0;
  while (off < line.size()) {
    ssize_t n = ::write(traceFd_, line.data() + off, line.size() - off);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    off += static_cast<std::size_t>(n);
  }
}

void SimHost::onRequest(const std::string& name, Handler handler) {
  handlers_[name] = std::move(handler);
}

void SimHost::onSet(SetHandler handler) {
  setHandlers_.push_back(std::move(handler));
}

nlohmann::json SimHost::handleLine(const std::string& line) {
  auto request = nlohmann::json::parse(line, nullptr, false);
  if (!request.is_object() || !request.contains("request") || !request["request"].is_string()) {
    return {{"ok", false}, {"error", "malformed"}};
  }
  const auto& name = request["request"].get_ref<const std::string&>();
  try {
    if (name == "set") {
      for (auto& part : setHandlers_) part(request);
      return {{"ok", true}};
    }
    auto it = handlers_.find(name);
    if (it == handlers_.end()) return {{"ok", false}, {"error", "unknown_request"}};
    return it->second(request);
  } catch (const std::exception&) {
    return {{"ok", false}, {"error", "malformed"}};
  }
}

void SimHost::startControl() {
  if (controlPath_.empty() || controlThread_.joinable()) return;
  sockaddr_un addr{};
  if (controlPath_.size() >= sizeof(addr.sun_path)) return;
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return;
  addr.sun_family = AF_UNIX;
  std::memcpy(addr.sun_path, controlPath_.c_str(), controlPath_.size() + 1);
  ::unlink(controlPath_.c_str());
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 ||
      ::chmod(controlPath_.c_str(), 0600) != 0 || ::listen(fd, 16) != 0) {
    ::close(fd);
    return;
  }
  // Without its wake-up descriptor the thread could not be stopped: no control socket then.
  wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wakeFd_ < 0) {
    ::close(fd);
    ::unlink(controlPath_.c_str());
    return;
  }
  listenFd_ = fd;
  controlThread_ = std::thread([this] { serve(); });
}

void SimHost::stopControl() {
  if (!controlThread_.joinable()) return;
  std::uint64_t one = 1;
  [[maybe_unused]] ssize_t n = ::write(wakeFd_, &one, sizeof(one));
  controlThread_.join();
  ::close(listenFd_);
  ::close(wakeFd_);
  ::unlink(controlPath_.c_str());
  listenFd_ = wakeFd_ = -1;
}

void SimHost::serve() {
  struct Peer {
    int fd;
    std::string buffer;
  };
  std::vector<Peer> peers;
  for (;;) {
    std::vector<pollfd> fds{{wakeFd_, POLLIN, 0}, {listenFd_, POLLIN, 0}};
    for (auto& p : peers) fds.push_back({p.fd, POLLIN, 0});
    if (::poll(fds.data(), fds.size(), -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (fds[0].revents) break;
    if (fds[1].revents & POLLIN) {
      int c = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
      if (c >= 0) peers.push_back({c, {}});
    }
    std::vector<int> closed;
    for (std::size_t i = 2; i < fds.size(); ++i) {
      if (!fds[i].revents) continue;
      Peer& peer = peers[i - 2];
      char chunk[4096];
      ssize_t n = ::recv(peer.fd, chunk, sizeof(chunk), 0);
      if (n <= 0) {
        closed.push_back(peer.fd);
        continue;
      }
      peer.buffer.append(chunk, static_cast<std::size_t>(n));
      std::size_t nl;
      bool ok = true;
      while (ok && (nl = peer.buffer.find('\n')) != std::string::npos) {
        std::string line = peer.buffer.substr(0, nl);
        peer.buffer.erase(0, nl + 1);
        ok = sendAll(peer.fd, handleLine(line).dump() + "\n");
      }
      if (!ok || peer.buffer.size() > kMaxControlLine) closed.push_back(peer.fd);
    }
    for (int fd : closed) {
      ::close(fd);
      std::erase_if(peers, [fd](const Peer& p) { return p.fd == fd; });
    }
  }
  for (auto& p : peers) ::close(p.fd);
}

}  // namespace virelo::sim
