#include "virelo/client/client.h"

#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <nlohmann/json.hpp>

#include "trust.h"
#include "virelo/client/errors.h"
#include "virelo/client/motion.h"
#include "virelo/protocol/limits.h"
#include "virelo/protocol/names.h"

namespace virelo::client {
namespace {

using Clock = std::chrono::steady_clock;
using nlohmann::json;
namespace commands = protocol::commands;
namespace fields = protocol::fields;
namespace replies = protocol::replies;

constexpr const char* kProtocolErrorCode = protocol::errors::protocolError;

// Sockets of live clients, for the signal and exit handlers. Lock-free so that a signal handler
// may read it; a slot holds a descriptor plus one, or 0 when free (so that it starts out free).
std::atomic<int> gLiveSockets[64];

void registerSocket(int fd) {
  for (auto& slot : gLiveSockets) {
    int expected = 0;
    if (slot.compare_exchange_strong(expected, fd + 1)) return;
  }
}

void unregisterSocket(int fd) {
  for (auto& slot : gLiveSockets) {
    int expected = fd + 1;
    if (slot.compare_exchange_strong(expected, 0)) return;
  }
}

// Async-signal-safe: only shutdown() on the registered descriptors.
void shutdownLiveSockets() {
  for (auto& slot : gLiveSockets) {
    int entry = slot.load();
    if (entry > 0) ::shutdown(entry - 1, SHUT_RDWR);
  }
}

void releaseAndReraise(int sig) {
  shutdownLiveSockets();
  ::signal(sig, SIG_DFL);
  ::raise(sig);
}

}  // namespace

struct Client::Reply {
  json object;
  std::string line;
};

namespace {

int connectTo(const std::string& socketPath) {
  sockaddr_un addr{};
  if (socketPath.size() >= sizeof(addr.sun_path)) {
    throw ConnectionLost("socket path too long: " + socketPath);
  }
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) throw ConnectionLost(std::string("socket: ") + std::strerror(errno));
  addr.sun_family = AF_UNIX;
  std::memcpy(addr.sun_path, socketPath.c_str(), socketPath.size() + 1);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0) {
    int e = errno;
    ::close(fd);
    throw ConnectionLost("cannot connect to " + socketPath + ": " + std::strerror(e));
  }
  // Whoever can plant a file or set a variable can name any socket: before the token or any input
  // goes out, the listener must be this user's.
  try {
    trust::checkPeer(fd, socketPath);
  } catch (...) {
    ::close(fd);
    throw;
  }
  return fd;
}

Status statusFrom(const json& object);

}  // namespace

Client::Client(const std::string& socketPath, std::chrono::milliseconds replyTimeout)
    : replyTimeout_(replyTimeout) {
  fd_ = connectTo(socketPath);
  registerSocket(fd_);
}

Client::Client(const std::function<Endpoint()>& finder, std::chrono::milliseconds replyTimeout)
    : replyTimeout_(replyTimeout), finder_(finder) {
  std::lock_guard<std::mutex> guard(mutex_);
  reconnect();
}

void Client::reconnect() {
  Endpoint endpoint = finder_();
  fd_ = connectTo(endpoint.socket);
  registerSocket(fd_);
  justConnected_ = true;
  helloStatus_ = statusFrom(
      request(commands::hello,
              json{{fields::cmd, commands::hello}, {fields::token, endpoint.token}}.dump())
          .object);
  backend_ = helloStatus_.backend;
}

Client::~Client() {
  std::lock_guard<std::mutex> guard(mutex_);
  if (fd_ >= 0 && (!state_.empty() || motionSent_)) {
    try {
      request(commands::reset, json{{fields::cmd, commands::reset}}.dump());
    } catch (const std::exception&) {
      // The connection is closed below either way; the service then releases on its own.
    }
  }
  disconnect();
}

void Client::disconnect() {
  if (fd_ >= 0) {
    unregisterSocket(fd_);
    ::close(fd_);
  }
  fd_ = -1;
  buffer_.clear();
  state_ = InputState{};
  motionSent_ = false;
}

void Client::close() {
  std::lock_guard<std::mutex> guard(mutex_);
  disconnect();
}

bool Client::connected() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return fd_ >= 0;
}

InputState Client::state() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return state_;
}

std::string Client::backend() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return backend_;
}

Client::Reply Client::request(const std::string& command, const std::string& line) {
  sendLine(command, line);
  return readReply(command);
}

void Client::sendLine(const std::string& command, const std::string& line) {
  if (fd_ < 0 && finder_) reconnect();
  if (fd_ < 0) throw ConnectionLost("not connected to the service");
  std::string out = line + "\n";
  std::size_t sent = 0;
  while (sent < out.size()) {
    ssize_t n = ::send(fd_, out.data() + sent, out.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      int e = errno;
      bool stale = finder_ && sent == 0 && !justConnected_ && !resending_;
      disconnect();
      // Nothing of the command reached a service that is gone (a restarted session's, say): a
      // client that can find the service again sends it to the new one, once.
      if (stale) {
        resending_ = true;
        struct Done {
          bool& flag;
          ~Done() { flag = false; }
        } done{resending_};
        sendLine(command, line);
        return;
      }
      throw ConnectionLost("sending \"" + command + "\" failed: " + std::strerror(e));
    }
    sent += static_cast<std::size_t>(n);
  }
  justConnected_ = false;
}

Client::Reply Client::readReply(const std::string& command) {
  auto deadline = Clock::now() + replyTimeout_;
  std::size_t newline;
  while ((newline = buffer_.find('\n')) == std::string::npos) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    pollfd p{fd_, POLLIN, 0};
    int ready = left.count() > 0 ? ::poll(&p, 1, static_cast<int>(left.count())) : 0;
    if (ready < 0 && errno == EINTR) continue;
    if (ready == 0) {
      disconnect();
      throw ConnectionLost("no reply to \"" + command + "\" within " +
                           std::to_string(replyTimeout_.count()) + " ms");
    }
    char chunk[4096];
    ssize_t got = ::recv(fd_, chunk, sizeof(chunk), 0);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      disconnect();
      throw ConnectionLost("the service closed the connection during \"" + command + "\"");
    }
    buffer_.append(chunk, static_cast<std::size_t>(got));
  }
  Reply reply;
  reply.line = buffer_.substr(0, newline);
  buffer_.erase(0, newline + 1);
  reply.object = json::parse(reply.line, nullptr, false);
  if (!reply.object.is_object()) {
    disconnect();
    throw ConnectionLost("malformed reply to \"" + command + "\": " + reply.line);
  }
  if (reply.object.value(replies::error, json()) == kProtocolErrorCode) {
    // The service closes the connection after this reply and releases what the client held.
    disconnect();
    throw ProtocolError(command, reply.line);
  }
  return reply;
}

static_assert(Client::kMaxUnanswered <= static_cast<std::size_t>(protocol::kMaxLinesPerPass));
static_assert(2 * Client::kMaxUnansweredBytes <= protocol::kMaxPendingBytes);

void Client::keyboardSequence(const std::vector<KeyboardState>& states) {
  std::lock_guard<std::mutex> guard(mutex_);
  bool notReady = false;
  std::string error;
  std::size_t answered = 0;
  auto readOne = [&] {
    Reply reply = readReply(commands::keyboard);
    if (reply.object.value(replies::ok, false) != true && !notReady) {
      notReady = true;
      error = reply.object.value(replies::error, std::string("unknown"));
    }
    ++answered;
  };
  // A line may go once more to a new service only while nothing is in flight: answers owed by a
  // service that has gone would never come from the new one.
  struct Restore {
    bool& flag;
    ~Restore() { flag = false; }
  } restore{resending_};
  // The sizes of the lines in flight, oldest first.
  std::deque<std::size_t> inFlight;
  std::size_t bytes = 0;
  for (std::size_t i = 0; i < states.size(); ++i) {
    const KeyboardState& state = states[i];
    json line{{fields::cmd, commands::keyboard},
              {fields::modifiers, state.modifiers},
              {fields::keys, state.keys}};
    if (state_.fn) line[fields::fn] = true;
    const std::string text = line.dump();
    while (!inFlight.empty() &&
           (inFlight.size() >= kMaxUnanswered || bytes + text.size() + 1 > kMaxUnansweredBytes)) {
      readOne();
      bytes -= inFlight.front();
      inFlight.pop_front();
    }
    resending_ = i != answered;
    sendLine(commands::keyboard, text);
    inFlight.push_back(text.size() + 1);
    bytes += text.size() + 1;
  }
  while (answered < states.size()) readOne();
  if (notReady) {
    // The not-ready status reply: the service has cleared this client's input.
    state_ = InputState{};
    motionSent_ = false;
    throw ServiceNotReady(error);
  }
  if (!states.empty()) {
    state_.modifiers = states.back().modifiers;
    state_.keys = states.back().keys;
  }
}

Ack Client::ackRequest(const std::string& command, const std::string& line) {
  Reply reply = request(command, line);
  if (reply.object.value(replies::ok, false) != true) {
    // The not-ready status reply: the service has cleared this client's input.
    state_ = InputState{};
    motionSent_ = false;
    throw ServiceNotReady(reply.object.value(replies::error, std::string("unknown")));
  }
  return Ack{true, reply.object.value(replies::ready, true)};
}

namespace {

Status statusFrom(const json& object) {
  Status status;
  status.ok = object.value(replies::ok, false);
  status.ready = object.value(replies::ready, false);
  status.backend = object.value(replies::backend, std::string());
  if (object.contains(replies::protocol) && object[replies::protocol].is_number_integer()) {
    status.protocol = object[replies::protocol].get<int>();
  }
  if (object.contains(replies::error) && object[replies::error].is_string()) {
    status.error = object[replies::error].get<std::string>();
  }
  return status;
}

}  // namespace

Status Client::hello(const std::string& token) {
  std::lock_guard<std::mutex> guard(mutex_);
  helloStatus_ = statusFrom(
      request(commands::hello, json{{fields::cmd, commands::hello}, {fields::token, token}}.dump())
          .object);
  backend_ = helloStatus_.backend;
  return helloStatus_;
}

Status Client::helloStatus() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return helloStatus_;
}

Status Client::status() {
  std::lock_guard<std::mutex> guard(mutex_);
  Status status =
      statusFrom(request(commands::status, json{{fields::cmd, commands::status}}.dump()).object);
  if (!status.ok) {
    state_ = InputState{};
    motionSent_ = false;
  }
  return status;
}

Ack Client::reset() {
  std::lock_guard<std::mutex> guard(mutex_);
  Ack ack = ackRequest(commands::reset, json{{fields::cmd, commands::reset}}.dump());
  state_ = InputState{};
  motionSent_ = false;
  return ack;
}

Ack Client::stopMotion() {
  std::lock_guard<std::mutex> guard(mutex_);
  Ack ack = ackRequest(commands::stopMotion, json{{fields::cmd, commands::stopMotion}}.dump());
  motionSent_ = false;
  return ack;
}

Ack Client::sendKeyboard(std::uint8_t modifiers, const std::set<int>& keys, bool fn) {
  json line{
      {fields::cmd, commands::keyboard}, {fields::modifiers, modifiers}, {fields::keys, keys}};
  if (fn) line[fields::fn] = true;
  Ack ack = ackRequest(commands::keyboard, line.dump());
  state_.modifiers = modifiers;
  state_.keys = keys;
  state_.fn = fn;
  return ack;
}

Ack Client::sendConsumer(const std::set<int>& usages) {
  Ack ack = ackRequest(commands::consumer,
                       json{{fields::cmd, commands::consumer}, {fields::usages, usages}}.dump());
  state_.media = usages;
  return ack;
}

Ack Client::sendButtons(int buttons) {
  Ack ack = ackRequest(commands::buttons,
                       json{{fields::cmd, commands::buttons}, {fields::buttons, buttons}}.dump());
  state_.buttons = buttons;
  return ack;
}

Ack Client::keyboard(std::uint8_t modifiers, const std::set<int>& keys, bool fn) {
  std::lock_guard<std::mutex> guard(mutex_);
  return sendKeyboard(modifiers, keys, fn);
}

Ack Client::consumer(const std::set<int>& usages) {
  std::lock_guard<std::mutex> guard(mutex_);
  return sendConsumer(usages);
}

Ack Client::buttons(int buttons) {
  std::lock_guard<std::mutex> guard(mutex_);
  return sendButtons(buttons);
}

Ack Client::move(int dx, int dy, bool snap) {
  std::lock_guard<std::mutex> guard(mutex_);
  json line{{fields::cmd, commands::move}, {fields::dx, dx}, {fields::dy, dy}};
  if (snap) line[fields::snap] = true;
  return ackRequest(commands::move, line.dump());
}

Ack Client::wheel(int amount) {
  std::lock_guard<std::mutex> guard(mutex_);
  return ackRequest(commands::wheel,
                    json{{fields::cmd, commands::wheel}, {fields::amount, amount}}.dump());
}

MotionReply Client::motion(int dx, int dy, std::optional<std::uint64_t> tNs) {
  std::lock_guard<std::mutex> guard(mutex_);
  json line{{fields::cmd, commands::motion},
            {fields::dx, dx},
            {fields::dy, dy},
            {fields::tNs, tNs ? *tNs : monotonicNow()}};
  Reply reply = request(commands::motion, line.dump());
  if (reply.object.value(replies::ok, false) != true) {
    state_ = InputState{};
    motionSent_ = false;
    throw ServiceNotReady(reply.object.value(replies::error, std::string("unknown")));
  }
  bool stale = reply.object.value(replies::dropped, std::string()) == protocol::kStaleMotion;
  motionSent_ = !stale && (dx != 0 || dy != 0);
  return MotionReply{stale};
}

Ack Client::pressKey(int usage) {
  std::lock_guard<std::mutex> guard(mutex_);
  auto keys = state_.keys;
  keys.insert(usage);
  return sendKeyboard(state_.modifiers, keys, state_.fn);
}

Ack Client::releaseKey(int usage) {
  std::lock_guard<std::mutex> guard(mutex_);
  auto keys = state_.keys;
  keys.erase(usage);
  return sendKeyboard(state_.modifiers, keys, state_.fn);
}

Ack Client::pressModifiers(std::uint8_t bits) {
  std::lock_guard<std::mutex> guard(mutex_);
  return sendKeyboard(static_cast<std::uint8_t>(state_.modifiers | bits), state_.keys, state_.fn);
}

Ack Client::releaseModifiers(std::uint8_t bits) {
  std::lock_guard<std::mutex> guard(mutex_);
  return sendKeyboard(static_cast<std::uint8_t>(state_.modifiers & ~bits), state_.keys, state_.fn);
}

Ack Client::setFn(bool held) {
  std::lock_guard<std::mutex> guard(mutex_);
  return sendKeyboard(state_.modifiers, state_.keys, held);
}

Ack Client::pressMedia(int usage) {
  std::lock_guard<std::mutex> guard(mutex_);
  auto usages = state_.media;
  usages.insert(usage);
  return sendConsumer(usages);
}

Ack Client::releaseMedia(int usage) {
  std::lock_guard<std::mutex> guard(mutex_);
  auto usages = state_.media;
  usages.erase(usage);
  return sendConsumer(usages);
}

Ack Client::pressButtons(int bits) {
  std::lock_guard<std::mutex> guard(mutex_);
  return sendButtons(state_.buttons | bits);
}

Ack Client::releaseButtons(int bits) {
  std::lock_guard<std::mutex> guard(mutex_);
  return sendButtons(state_.buttons & ~bits);
}

void Client::releaseOnSignals(std::initializer_list<int> signals) {
  static std::atomic<bool> atExitInstalled{false};
  if (!atExitInstalled.exchange(true)) std::atexit(shutdownLiveSockets);
  for (int sig : signals) {
    struct sigaction action {};
    action.sa_handler = releaseAndReraise;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;
    ::sigaction(sig, &action, nullptr);
  }
}

}  // namespace virelo::client
