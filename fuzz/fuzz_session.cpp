#include "fuzz/fuzz_session.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <vector>

#include "tests/support/doubles/empty_snap_target_source.h"
#include "tests/support/doubles/null_event_emitter.h"

namespace virelo::fuzz {
namespace {

[[noreturn]] void finding(const std::string& what) {
  std::fprintf(stderr, "invariant broken: %s\n", what.c_str());
  std::abort();
}

constexpr std::uint64_t kPassNS = 1'000'000;

}  // namespace

std::span<const std::uint8_t> readOptions(std::span<const std::uint8_t> input,
                                          FuzzOptions& options) {
  if (input.size() < 2) return {};
  options.backend = (input[0] & 1) ? InputBackend::cgevent : InputBackend::corehid;
  options.helloFirst = (input[0] & 2) != 0;
  options.bystander = (input[0] & 4) != 0;
  // 1 to 4336 bytes per send, so that single receives both split lines and overfill the buffer.
  options.chunkSize = 1 + static_cast<std::size_t>(input[1]) * 17;
  return input.subspan(2);
}

FuzzSession::FuzzSession(const FuzzOptions& options) : options_(options) {
  if (::pipe2(parentPipe_, O_CLOEXEC) != 0) finding("pipe");
  emitter_ = std::make_unique<testing::NullEventEmitter>();
  BridgeParts parts;
  parts.lifetime = &lifetime_;
  parts.backend = options.backend;
  parts.emitter = emitter_.get();
  parts.targetSource = std::make_shared<testing::EmptySnapTargetSource>();
  if (options.backend == InputBackend::cgevent) {
    parts.eventOutput = std::make_unique<RecordingEventOutput>(last_);
  } else {
    devices_ = std::make_unique<RecordingDevices>(last_);
    auto sink = std::make_unique<HidDeviceSink>(devices_.get());
    hid_ = sink.get();
    parts.sink = std::move(sink);
  }
  parts.clock = [this] { return now_; };
  bridge_ = std::make_unique<Bridge>(std::move(parts));
  bridge_->start();
  if (!bridge_->ready()) finding("the bridge did not become ready");
  clients_ = std::make_unique<ClientRegistry>(*bridge_, parentPipe_[0]);
  connections_ =
      std::make_unique<ConnectionService>(*bridge_, *clients_, kFuzzToken, [this] { return now_; });

  if (options.bystander) {
    bystander_ = connect();
    send(bystander_, std::string(R"({"cmd":"hello","token":")") + kFuzzToken + "\"}\n" +
                         R"({"cmd":"keyboard","modifiers":2,"keys":[4]})" + "\n" +
                         R"({"cmd":"buttons","buttons":1})" + "\n");
    if (!clients_->find(bystander_.serverFd)) finding("the bystander was dropped");
    checkOutputHolds(2, 4, 1);
  }
  fuzzed_ = connect();
  if (options.helloFirst) {
    send(fuzzed_, std::string(R"({"cmd":"hello","token":")") + kFuzzToken + "\"}\n");
  }
}

FuzzSession::~FuzzSession() {
  connections_.reset();
  clients_.reset();  // closes the service ends
  for (int fd : {fuzzed_.clientFd, bystander_.clientFd, parentPipe_[0], parentPipe_[1]}) {
    if (fd >= 0) ::close(fd);
  }
}

FuzzSession::Peer FuzzSession::connect() {
  int pair[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) finding("socketpair");
  ::fcntl(pair[0], F_SETFL, O_NONBLOCK);
  ::fcntl(pair[1], F_SETFL, O_NONBLOCK);
  clients_->admit(pair[0], now_);
  return {pair[0], pair[1], {}};
}

void FuzzSession::send(Peer& peer, std::string_view bytes) {
  while (!bytes.empty() && clients_->find(peer.serverFd)) {
    ssize_t n = ::send(peer.clientFd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n > 0) bytes.remove_prefix(static_cast<std::size_t>(n));
    // Whatever was sent (or could not be, because the buffer is full) is served now.
    pass();
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return;
  }
}

// One pass of the main loop over the registered clients, repeated while a client has data.
void FuzzSession::pass() {
  for (bool again = true; again;) {
    again = false;
    clients_->pruneDisconnected();
    bridge_->releasePending();
    std::vector<pollfd> fds;
    for (const auto& [fd, client] : clients_->all()) fds.push_back({fd, POLLIN, 0});
    // libFuzzer's timeout alarm interrupts system calls now and then; poll is not restarted.
    int ready;
    do {
      ready = ::poll(fds.data(), fds.size(), 0);
    } while (ready < 0 && errno == EINTR);
    if (ready < 0) finding("poll");
    for (const pollfd& p : fds) {
      connections_->serve(p.fd, p.revents);
      if (p.revents & POLLIN) again = true;
    }
    drainReplies(fuzzed_);
    drainReplies(bystander_);
    checkKeyLimit();
    now_ += kPassNS;
    bridge_->tick();
    checkKeyLimit();
  }
}

void FuzzSession::drainReplies(Peer& peer) {
  if (peer.clientFd < 0) return;
  char chunk[4096];
  for (;;) {
    ssize_t got = ::recv(peer.clientFd, chunk, sizeof(chunk), MSG_DONTWAIT);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    peer.replies.append(chunk, static_cast<std::size_t>(got));
  }
  // Every reply is sent whole in one send, so between passes no partial line may be pending.
  if (!peer.replies.empty() && peer.replies.back() != '\n') {
    finding("a partial reply line: " + peer.replies);
  }
  std::size_t start = 0;
  for (auto nl = peer.replies.find('\n'); nl != std::string::npos;
       nl = peer.replies.find('\n', start)) {
    std::string line = peer.replies.substr(start, nl - start);
    auto reply = nlohmann::json::parse(line, nullptr, false);
    if (!reply.is_object() || !reply.contains("ok") || !reply["ok"].is_boolean() ||
        !reply.contains("ready") || !reply["ready"].is_boolean()) {
      finding("a malformed reply line: " + line);
    }
    start = nl + 1;
  }
  peer.replies.clear();
}

void FuzzSession::checkKeyLimit() const {
  KeySet all;
  for (const auto& [fd, owner] : bridge_->owners()) all |= owner.keys;
  if (all.count() > kMaxKeys) finding("more than 32 keys held");
  std::size_t inReport = 0;
  for (std::size_t i = 1; i < last_.keyboard.size(); ++i) inReport += last_.keyboard[i] != 0;
  if (inReport > kMaxKeys) finding("more than 32 keys in the keyboard report");
}

void FuzzSession::checkOutputHolds(std::uint8_t modifiers, int key, std::uint8_t buttons) const {
  KeyboardReport keyboard{};
  keyboard[0] = modifiers;
  keyboard[1] = static_cast<std::uint8_t>(key);
  MouseReport mouse{buttons, 0, 0, 0};
  if (last_.keyboard != keyboard) finding("the keyboard output holds a dropped client's input");
  if (last_.mouse != mouse) finding("the mouse output holds a dropped client's input");
  if (last_.consumer != ConsumerReport{})
    finding("the media output holds a dropped client's input");
  if (last_.fn) finding("the Fn state of a dropped client is still held");
  if (hid_ &&
      hid_->mouseDelegate().input() != std::vector<std::uint8_t>(mouse.begin(), mouse.end()))
    finding("the mouse delegate holds a dropped client's buttons or motion");
}

void FuzzSession::play(std::span<const std::uint8_t> bytes) {
  while (!bytes.empty() && clients_->find(fuzzed_.serverFd)) {
    std::size_t n = std::min(options_.chunkSize, bytes.size());
    send(fuzzed_, std::string_view(reinterpret_cast<const char*>(bytes.data()), n));
    bytes = bytes.subspan(n);
  }
  // The fuzzed client goes away; the next pass must release everything it held.
  ::close(fuzzed_.clientFd);
  fuzzed_.clientFd = -1;
  pass();
  if (clients_->find(fuzzed_.serverFd)) finding("a closed client is still served");
  if (options_.bystander) {
    checkOutputHolds(2, 4, 1);
    ::close(bystander_.clientFd);
    bystander_.clientFd = -1;
    pass();
  }
  if (clients_->size() != 0 || !bridge_->owners().empty()) {
    finding("a closed client is still served");
  }
  checkOutputHolds(0, 0, 0);
}

}  // namespace virelo::fuzz
