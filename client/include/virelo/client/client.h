// A connection to the service's socket that speaks its command protocol and keeps the client's
// complete input state.
//
// Every command carries the client's complete state, never a change. The typed calls below
// (keyboard, consumer, buttons, ...) send a complete state given by the caller and remember it;
// the press/release calls change one element of the remembered state and send the whole of it.
// Every call waits for its reply and returns it as a value. Anything else surfaces as an error:
//   ProtocolError    the service rejected the command (it then closes the connection),
//   ServiceNotReady  the service cannot deliver input now (it cleared this client's state),
//   ConnectionLost   no connection, the connection broke, or no reply within the reply timeout.
// Every connection is made only to a service of this process's effective user: when another user
// listens on the socket, the constructor (or the reconnect) throws UntrustedService before it sends
// anything.
// After ProtocolError or ConnectionLost the client is disconnected and every later call throws
// ConnectionLost; the remembered state is then empty, because the service releases everything a
// client held when its connection ends.
//
// Release guarantees:
//   - The destructor sends "reset" when anything is held (or motion may be running) and waits for
//     the reply, then closes the connection.
//   - On any end of the process (exit, crash, SIGKILL) the kernel closes the socket, and the
//     service releases everything the client held within one pass of its loop (about 8 ms).
//   - releaseOnSignals() additionally shuts the sockets of all live clients down from a signal
//     handler, which also covers copies of the socket inherited by forked children.
//
// Threads: every call may be made from any thread. Calls are serialised by an internal mutex held
// for one whole request and reply, so a MotionStream thread and the owning thread can share one
// client. The destructor must not run while another thread still uses the client.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "virelo/client/errors.h"
#include "virelo/client/session.h"

namespace virelo::client {

// Modifier bits of the keyboard report.
namespace modifier {
inline constexpr std::uint8_t leftCtrl = 1 << 0;
inline constexpr std::uint8_t leftShift = 1 << 1;
inline constexpr std::uint8_t leftAlt = 1 << 2;
inline constexpr std::uint8_t leftGui = 1 << 3;
inline constexpr std::uint8_t rightCtrl = 1 << 4;
inline constexpr std::uint8_t rightShift = 1 << 5;
inline constexpr std::uint8_t rightAlt = 1 << 6;
inline constexpr std::uint8_t rightGui = 1 << 7;
}  // namespace modifier

// Pointer button bits ("buttons"): bit 0 is the primary button.
namespace button {
inline constexpr int primary = 1 << 0;
inline constexpr int secondary = 1 << 1;
inline constexpr int middle = 1 << 2;
}  // namespace button

// The consumer-page usages of the media device.
namespace media {
inline constexpr int mute = 0xE2;
inline constexpr int volumeUp = 0xE9;
inline constexpr int volumeDown = 0xEA;
inline constexpr int playPause = 0xCD;
inline constexpr int nextTrack = 0xB5;
inline constexpr int previousTrack = 0xB6;
}  // namespace media

// A client's complete input state, as every command sends it: held modifiers, keys (keyboard page
// usages 1..231, at most 32), the virtual Fn flag, held media-key usages and pointer buttons.
struct InputState {
  std::uint8_t modifiers = 0;
  std::set<int> keys;
  bool fn = false;
  std::set<int> media;
  int buttons = 0;

  bool empty() const {
    return modifiers == 0 && keys.empty() && !fn && media.empty() && buttons == 0;
  }
  bool operator==(const InputState&) const = default;
};

// The acknowledgement of a command that took effect: {"ok": true, "ready": true}.
struct Ack {
  bool ok = true;
  bool ready = true;

  bool operator==(const Ack&) const = default;
};

// The service's status object: the reply to "hello", and to "status" or any command while the
// service is not ready. A "status" reply from a ready service carries only "ok" and "ready".
struct Status {
  bool ok = false;
  bool ready = false;
  // "corehid" or "cgevent"; empty when the reply did not carry it.
  std::string backend;
  // The protocol version (1); nullopt when the reply did not carry it.
  std::optional<int> protocol;
  // Present only when not ready, e.g. "virtual_hid_not_ready".
  std::optional<std::string> error;

  bool operator==(const Status&) const = default;
};

// The reply to a "motion" sample: accepted, or dropped as stale ("dropped": "stale_motion"), which
// also stops the client's motion in the service.
struct MotionReply {
  bool stale = false;

  bool operator==(const MotionReply&) const = default;
};

class Client {
 public:
  // Connects to the socket at the path. Throws ConnectionLost when it cannot, UntrustedService when
  // another user listens on it.
  explicit Client(const std::string& socketPath,
                  std::chrono::milliseconds replyTimeout = std::chrono::seconds(5));
  // Finds the service with `finder` (findSession: the user's session), connects and says "hello";
  // helloStatus() is that reply. When the connection has been lost, the next call finds the
  // service again, reconnects and says "hello" before its command, so that a client outlives a
  // restart of the session's service (which comes back with a new socket and token). Throws
  // NoSession, UntrustedService, ConnectionLost or ProtocolError.
  explicit Client(const std::function<Endpoint()>& finder,
                  std::chrono::milliseconds replyTimeout = std::chrono::seconds(5));
  ~Client();
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;

  // "hello": authenticates with the token and returns the service's status (also when the
  // service is not ready). A wrong token throws ProtocolError.
  Status hello(const std::string& token);
  // The reply to the last "hello" this client said.
  Status helloStatus() const;
  // "status": while ready the reply is {"ok":true,"ready":true}; otherwise the status object
  // with its error. Never throws ServiceNotReady.
  Status status();
  // "reset": releases everything this client holds and stops its motion.
  Ack reset();
  // "stop_motion": stops this client's continuous motion.
  Ack stopMotion();

  // Complete states, sent as they are and remembered.
  Ack keyboard(std::uint8_t modifiers, const std::set<int>& keys, bool fn = false);
  Ack consumer(const std::set<int>& usages);
  Ack buttons(int buttons);

  // Relative pointer movement and wheel steps, each in [-127, 127]; not part of the state.
  Ack move(int dx, int dy, bool snap = false);
  Ack wheel(int amount);
  // A continuous-motion sample: a displacement per 10 ms, stamped with monotonicNow() unless a
  // time is given. Motion lapses 40 ms after the last sample.
  MotionReply motion(int dx, int dy, std::optional<std::uint64_t> tNs = std::nullopt);

  // Keyboard states sent one after another as keyboard() would, but without waiting for each
  // answer before the next (at most kMaxUnanswered lines and kMaxUnansweredBytes bytes in
  // flight: as many lines as the service serves from one read, and half the bytes it holds for a
  // client);
  // every answer is read before this returns, and the last state is remembered. For a known
  // sequence such as a typed text, this saves a round trip per state. The fn flag stays as
  // held. Errors as keyboard(): a protocol error or a lost connection ends the connection; a
  // not-ready answer clears the remembered state and throws ServiceNotReady once all answers are
  // in.
  struct KeyboardState {
    std::uint8_t modifiers = 0;
    std::set<int> keys;
  };
  static constexpr std::size_t kMaxUnanswered = 32;
  static constexpr std::size_t kMaxUnansweredBytes = 2048;
  void keyboardSequence(const std::vector<KeyboardState>& states);

  // Changes to the remembered state, each sending the complete state.
  Ack pressKey(int usage);
  Ack releaseKey(int usage);
  Ack pressModifiers(std::uint8_t bits);
  Ack releaseModifiers(std::uint8_t bits);
  Ack setFn(bool held);
  Ack pressMedia(int usage);
  Ack releaseMedia(int usage);
  Ack pressButtons(int bits);
  Ack releaseButtons(int bits);

  // The state the service holds for this client, as far as this client knows.
  InputState state() const;
  // The backend named in the reply to hello() ("corehid" or "cgevent"); empty before.
  std::string backend() const;
  bool connected() const;
  // Closes the connection without a reset (the service releases everything on its own).
  void close();

  // Installs a handler for these signals that shuts down the socket of every live client (so the
  // service releases their input even if a forked child still holds a copy), then lets the
  // signal take its default action. Also shuts them down at normal process exit. Idempotent.
  static void releaseOnSignals(std::initializer_list<int> signals);

 private:
  struct Reply;
  Reply request(const std::string& command, const std::string& line);
  // The parts of request(): sending one line (once more to a new service when nothing of it
  // reached a service that has gone), and reading the next reply line.
  void sendLine(const std::string& command, const std::string& line);
  Reply readReply(const std::string& command);
  Ack ackRequest(const std::string& command, const std::string& line);
  Ack sendKeyboard(std::uint8_t modifiers, const std::set<int>& keys, bool fn);
  Ack sendConsumer(const std::set<int>& usages);
  Ack sendButtons(int buttons);
  void disconnect();
  // Connects to the finder's endpoint and says hello (with the mutex held).
  void reconnect();

  mutable std::mutex mutex_;  // guards everything below
  int fd_ = -1;
  std::string buffer_;
  std::chrono::milliseconds replyTimeout_;
  InputState state_;
  bool motionSent_ = false;
  std::function<Endpoint()> finder_;
  bool justConnected_ = false;  // no request has gone out on this connection yet
  bool resending_ = false;      // a command is being sent again after a stale connection
  Status helloStatus_;
  std::string backend_;
};

}  // namespace virelo::client
