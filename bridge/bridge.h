// The one object through which all input leaves the service. It keeps one Owner per client,
// merges all of them into complete keyboard, consumer and mouse reports, and hands those to the
// active backend: three virtual HID devices ("corehid") or the event output ("cgevent").
//
// Threads: every operation runs on the main thread. The report delegates are shared with the
// device host's threads (each under its own lock) and the Lifetime with the watchdog and the
// signal observer (under its lock).
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string_view>

#include "bridge/command_reply.h"
#include "bridge/command_request.h"
#include "bridge/merged_input.h"
#include "bridge/owner.h"
#include "bridge/report_delegate.h"
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
  // Present exactly with "cgevent".
  std::unique_ptr<EventOutput> eventOutput;
  // Used with "corehid" by start().
  HidDeviceService* devices = nullptr;
  // The parent's liveness pipe, looked at by the stop check.
  int parentFd = 0;
  Clock clock;  // defaults to the monotonic clock
};

class Bridge {
 public:
  explicit Bridge(BridgeParts parts);
  ~Bridge();
  Bridge(const Bridge&) = delete;
  Bridge& operator=(const Bridge&) = delete;

  // Creates and activates the devices and publishes the empty state ("corehid"), or reads the
  // posting permission and starts the Fn tap ("cgevent").
  void start();

  // One command line of a client; returns which reply answers it. Throws
  // FailureError(protocolError) for anything the client got wrong; other errors are errors of the
  // output.
  CommandReply command(const CommandRequest& request, int fd, std::string_view token);
  // The same for a parsed JSON object; returns the reply object.
  nlohmann::json command(const nlohmann::json& request, int fd, std::string_view token);
  // The reply object of a command's answer.
  nlohmann::json replyObject(CommandReply reply) const;

  // Output operations: each sends the complete merged state.
  void held();
  void pointing(std::int64_t dx, std::int64_t dy, std::int64_t wheel, std::optional<int> source,
                bool snap);
  void clear();
  void tick();

  ConsumerReport consumerReport() const;
  // Closes and removes the clients whose peer has gone; sets pendingRelease when it removed any.
  void pruneDisconnected();

  nlohmann::json status() const;
  void emitFnState();

  std::map<int, Owner>& owners() { return owners_; }
  bool ready() const { return ready_; }
  void setReady(bool ready) { ready_ = ready; }
  bool pendingRelease() const { return pendingRelease_; }
  void setPendingRelease(bool pending) { pendingRelease_ = pending; }
  InputBackend backend() const { return backend_; }
  EventOutput* eventOutput() { return eventOutput_.get(); }
  SnapSession& snapSession() { return snapSession_; }
  ReportDelegate& keyboardDelegate() { return keyboardDelegate_; }
  ReportDelegate& mouseDelegate() { return mouseDelegate_; }
  ReportDelegate& consumerDelegate() { return consumerDelegate_; }

 private:
  std::uint8_t mergedButtons() const;
  // The stop check (the stopping flag, then standard input for a hang-up or an error), then the
  // dead-client test, as done before every report: throws FailureError(parentStopped).
  void stopCheckThenPrune();
  // One poll over standard input (when `parent`) and every client, then the dead-client test.
  void pollAndPrune(bool parent);
  void markProgress();
  void sendMouse(const MouseReport& report, bool snap);
  void storeRestReport();
  void startDevices();

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
  // The delegates are declared before the devices so that they outlive them: the host may call a
  // delegate until its device is gone.
  ReportDelegate keyboardDelegate_{kKeyboardReportSize, true};
  ReportDelegate mouseDelegate_{kMouseReportSize, false};
  ReportDelegate consumerDelegate_{kConsumerReportSize, false};
  std::unique_ptr<HidVirtualDevice> keyboard_;
  std::unique_ptr<HidVirtualDevice> mouse_;
  std::unique_ptr<HidVirtualDevice> consumer_;
  Lifetime& lifetime_;
  const InputBackend backend_;
  EventEmitter& emitter_;
  std::unique_ptr<EventOutput> eventOutput_;
  HidDeviceService* devices_;
  int parentFd_;
  Clock clock_;
  std::optional<bool> lastFnHeld_;
  std::optional<bool> lastFnReady_;
  bool ready_ = false;
  bool pendingRelease_ = false;
  SnapSession snapSession_;
};

}  // namespace virelo
