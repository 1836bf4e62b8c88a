// The one object through which all input leaves the service. It keeps one Owner (the input
// state) per client,
// merges all of them into complete keyboard, consumer and mouse reports, and hands those to the
// active backend's ReportSink: three virtual HID devices ("corehid") or the event output
// ("cgevent").
//
// Threads: every operation runs on the main thread. The sink shares its report delegates with
// the device host's threads (each under its own lock); the Lifetime is shared with the watchdog
// and the signal observer (under its lock).
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string_view>

#include "bridge/client_check.h"
#include "bridge/command_reply.h"
#include "bridge/command_request.h"
#include "bridge/merged_input.h"
#include "bridge/owner.h"
#include "bridge/report_sink.h"
#include "core/event_emitter.h"
#include "core/input_backend.h"
#include "core/lifetime.h"
#include "eventsynth/event_output.h"
#include "platform/virtual_hid.h"
#include "snapping/snap_session.h"

namespace virelo {

using Clock = std::function<std::uint64_t()>;

struct BridgeParts {
  Lifetime* lifetime = nullptr;
  InputBackend backend = InputBackend::corehid;
  EventEmitter* emitter = nullptr;
  // Where the snap session finds its targets.
  std::shared_ptr<SnapTargetSource> targetSource;
  // The desk's scale, pixels of the window server per logical point, in which snapping measures.
  double deskScale = 1;
  // Present exactly with "cgevent".
  std::unique_ptr<EventOutput> eventOutput;
  // Used with "corehid" by start().
  HidDeviceService* devices = nullptr;
  // The output; when absent, the backend's sink is made from eventOutput or devices.
  std::unique_ptr<ReportSink> sink;
  Clock clock;  // defaults to the monotonic clock
};

class Bridge {
 public:
  explicit Bridge(BridgeParts parts);
  ~Bridge();
  Bridge(const Bridge&) = delete;
  Bridge& operator=(const Bridge&) = delete;

  // Starts the output: creates and activates the devices and publishes the empty state
  // ("corehid"), or reads the posting permission and starts the Fn tap ("cgevent"). The empty
  // state is not sent once the service is stopping (see stopped()).
  void start();

  // The check run before every report (nullptr: none). Set by the connection layer, which
  // outlives the bridge's use of it.
  void watchClients(ClientCheck* check) { clientCheck_ = check; }
  // A client was admitted: its input state starts empty.
  void addClient(int fd);
  // When the output learns that a client's input is gone: at once, or at the next release.
  enum class Release { now, pending };
  // A client has gone; its input leaves the merged state.
  void removeClient(int fd, Release release);

  // The first line of a client, which must be a "hello" with the service's token: returns the
  // reply that answers it, or throws FailureError(protocolError).
  CommandReply hello(const CommandRequest& request, std::string_view token) const;
  // One command line of an authenticated client; returns which reply answers it. Throws
  // FailureError(protocolError) for anything the client got wrong; other errors are errors of the
  // output.
  CommandReply command(const CommandRequest& request, int fd);

  // Re-sends the complete merged state: keyboard, media keys and the buttons without motion.
  void resend();
  // Carries out the release owed since clients went: the merged state without them, once.
  void releasePending();
  // Reads the output's posting permission (where it needs one). When it no longer matches
  // readiness: the output releases everything, every client's input is cleared and the permission
  // becomes readiness. Returns whether readiness changed.
  bool applyPermission();
  // The orderly stop: every client's input cleared and the empty state sent, also once the stop
  // check has found the service stopping (the one output after it).
  void clear();
  // The service is shutting down: the output releases everything and stops. Never fails.
  void shutDown();
  // The periodic step: a pending release, key repeat, the resting snap pull and motion.
  void tick();

  ConsumerReport consumerReport() const;

  nlohmann::json status() const;
  // Writes an fn_state event when the Fn state or the tap's readiness changed ("cgevent").
  void emitFnState();

  const std::map<int, Owner>& owners() const { return owners_; }
  bool ready() const { return ready_; }
  // Whether the stop check before a report found the service stopping (the stopping flag, or the
  // parent's channel gone). From then on the bridge sends nothing: no report, no Fn state, and
  // the caller sends no reply; the service ends without a failure event.
  bool stopped() const { return stopped_; }
  bool pendingRelease() const { return pendingRelease_; }
  InputBackend backend() const { return backend_; }

 private:
  std::uint8_t mergedButtons() const;
  // The stop check (the stopping flag, then the client check), as done before every report: false
  // once the service is stopping, which stopped() then reports.
  bool stopCheckThenPrune();
  void markProgress();
  // Output operations: each sends the complete merged state of its kind.
  void held();
  void pointing(std::int64_t dx, std::int64_t dy, std::int64_t wheel, std::optional<int> source,
                bool snap);
  void sendMouse(const MouseReport& report, bool snap);
  void storeRestReport();

  // Command handlers, one per command name.
  CommandReply handleReset(Owner& owner);
  CommandReply handleStopMotion(Owner& owner);
  CommandReply handleKeyboard(const CommandRequest& request, int fd, Owner& owner);
  CommandReply handleConsumer(const CommandRequest& request, Owner& owner);
  CommandReply handleButtons(const CommandRequest& request, Owner& owner);
  CommandReply handleMove(const CommandRequest& request, int fd);
  CommandReply handleWheel(const CommandRequest& request, int fd);
  CommandReply handleMotion(const CommandRequest& request, Owner& owner);

  // Motion integration for one tick; returns whether any client is moving.
  bool anyMotion() const;
  void stepMotion();

  std::map<int, Owner> owners_;
  std::unique_ptr<ReportSink> sink_;
  // The sink's event synthesis ("cgevent"), or nullptr.
  EventOutput* events_;
  Lifetime& lifetime_;
  const InputBackend backend_;
  EventEmitter& emitter_;
  ClientCheck* clientCheck_ = nullptr;
  Clock clock_;
  std::optional<bool> lastFnHeld_;
  std::optional<bool> lastFnReady_;
  bool ready_ = false;
  bool pendingRelease_ = false;
  bool stopped_ = false;
  SnapSession snapSession_;
};

}  // namespace virelo
