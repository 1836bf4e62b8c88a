#include "virelo/client/control_server.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <vector>

#include "line_socket.h"
#include "search_wire.h"
#include "virelo/client/controls.h"

namespace virelo::client {
namespace {

using Clock = LineSocket::Clock;
using namespace std::chrono_literals;

// How long a client may take to read its reply before it is dropped.
constexpr auto kReplyWrite = 2s;
// Clients served at once; more are refused until some leave.
constexpr std::size_t kMostClients = 64;

std::string variable(const EnvironmentLookup& environment, const char* name) {
  const char* value = environment(name);
  return value != nullptr ? value : "";
}

trust::Descriptor listenAt(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof(address.sun_path)) throw Error(path + ": too long for a socket");
  path.copy(address.sun_path, path.size());
  trust::Descriptor fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  ::unlink(path.c_str());
  // The directory is the user's alone, so nobody reaches the socket before its mode is narrowed.
  if (!fd || ::bind(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      ::chmod(path.c_str(), 0600) != 0 || ::listen(fd.get(), 16) != 0) {
    throw Error("cannot listen at " + path + ": " + std::strerror(errno));
  }
  return fd;
}

bool sameUser(int fd) {
  ucred peer{};
  socklen_t length = sizeof peer;
  return ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &length) == 0 && peer.uid == ::geteuid();
}

}  // namespace

struct ControlSearchServer::State {
  EnvironmentLookup environment;
  std::string display;
  std::string bus;
  trust::Descriptor listener;
  trust::Descriptor wake;
  std::optional<Desktop> desktop;
  std::vector<std::unique_ptr<LineSocket>> clients;

  void accept();
  // Answers one request line; false when the client cannot be written to.
  bool answer(LineSocket& client, const std::string& line);
  // The lines after "searching".
  std::string reply(const SearchRequest& request);
  std::string pressReply(ControlQuery query, const PressRequest& press);
  // The desktop, opened when it is not yet.
  Desktop& open() {
    if (!desktop) desktop.emplace(Desktop(environment, kControlsTimeout, false));
    return *desktop;
  }
};

void ControlSearchServer::State::accept() {
  for (;;) {
    trust::Descriptor fd(::accept4(listener.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
    if (!fd) return;
    if (sameUser(fd.get()) && clients.size() < kMostClients) {
      clients.push_back(std::make_unique<LineSocket>(std::move(fd)));
    }
  }
}

std::string ControlSearchServer::State::reply(const SearchRequest& request) {
  if (request.display != display || request.bus != bus) {
    return refusalLine(SearchRefusal::otherDesktop,
                       "the session reads display \"" + display + "\" on its own session bus");
  }
  try {
    if (request.press) return pressReply(request.query, *request.press);
    FoundControls found = open().showing(request.query);
    std::string lines;
    for (const auto& control : found.controls) lines += client::controlLine(control);
    return lines + doneLine(found.unanswering);
  } catch (const UnknownRole& e) {
    return refusalLine(SearchRefusal::unknownRole, e.what());
  } catch (const MalformedLine& e) {
    // A name that is not UTF-8 cannot travel; the client reads it itself.
    return refusalLine(SearchRefusal::unavailable, e.what());
  } catch (const std::exception& e) {
    // Opened again for the next request: the bus or the X server may be back by then.
    desktop.reset();
    return refusalLine(SearchRefusal::unavailable, e.what());
  }
}

// The controls at the press's place, and the press of the one control among them, as actOn()
// chooses it: the only one, or the first with `first`, and enabled.
std::string ControlSearchServer::State::pressReply(ControlQuery query, const PressRequest& press) {
  query.nth = press.nth;
  Desktop& desktop = open();
  FoundControls found = desktop.showing(query);
  std::string lines;
  for (const auto& control : found.controls) lines += client::controlLine(control);
  const bool chosen = found.controls.size() == 1 || (press.first && !found.controls.empty());
  if (chosen && found.controls.front().enabled) {
    try {
      std::string done;
      for (int i = 0; i < press.times; ++i) {
        done = desktop.act(found.controls.front(), press.action);
      }
      lines += pressedLine(done);
    } catch (const ControlNotActionable& e) {
      lines += unpressedLine(e.what());
    }
  }
  return lines + doneLine(found.unanswering);
}

bool ControlSearchServer::State::answer(LineSocket& client, const std::string& line) {
  const auto deadline = Clock::now() + kReplyWrite;
  SearchRequest request;
  try {
    request = parseRequest(line);
  } catch (const std::exception& e) {
    return client.write(refusalLine(SearchRefusal::malformed, e.what()), deadline);
  }
  if (!client.write(searchingLine(), deadline)) return false;
  const std::string lines = reply(request);
  return client.write(lines, Clock::now() + kReplyWrite);
}

ControlSearchServer::ControlSearchServer(const std::string& path,
                                         const EnvironmentLookup& environment)
    : path_(path), state_(std::make_unique<State>()) {
  state_->environment = environment;
  state_->display = variable(environment, "DISPLAY");
  state_->bus = variable(environment, "DBUS_SESSION_BUS_ADDRESS");
  state_->wake = trust::Descriptor(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  if (!state_->wake) throw Error(std::string("eventfd failed: ") + std::strerror(errno));
  state_->listener = listenAt(path);
  thread_ = std::thread([this] { serve(); });
}

ControlSearchServer::~ControlSearchServer() {
  const std::uint64_t one = 1;
  [[maybe_unused]] auto written = ::write(state_->wake.get(), &one, sizeof one);
  thread_.join();
  ::unlink(path_.c_str());
}

void ControlSearchServer::serve() {
  State& s = *state_;
  // Warm from the start: the first client finds the bus and the trees at hand.
  try {
    s.open();
  } catch (const std::exception&) {
    // Tried again with the first request.
  }
  for (;;) {
    std::vector<pollfd> fds{{s.wake.get(), POLLIN, 0}, {s.listener.get(), POLLIN, 0}};
    for (const auto& client : s.clients) fds.push_back({client->fd(), POLLIN, 0});
    if (::poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR) break;
    if (fds[0].revents != 0) break;
    if (fds[1].revents != 0) s.accept();
    std::vector<bool> gone(s.clients.size(), false);
    for (std::size_t i = 0; i + 2 < fds.size(); ++i) {
      if (fds[i + 2].revents == 0) continue;
      LineSocket& client = *s.clients[i];
      bool open = client.fill();
      while (open) {
        auto line = client.nextLine();
        if (!line) break;
        open = s.answer(client, *line);
      }
      gone[i] = !open;
    }
    for (std::size_t i = gone.size(); i-- > 0;) {
      if (gone[i]) s.clients.erase(s.clients.begin() + static_cast<std::ptrdiff_t>(i));
    }
  }
  // The controls belong to this thread for their whole life.
  s.desktop.reset();
}

}  // namespace virelo::client
