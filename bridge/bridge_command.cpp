// The command protocol: the handshake, the vocabulary and what each command changes.
#include <cstring>
#include <string>

#include "bridge/bridge.h"
#include "bridge/field_readers.h"
#include "bridge/token_compare.h"
#include "service/failure.h"

namespace virelo {
namespace {

[[noreturn]] void protocolError() {
  throw FailureError(Failure::protocolError);
}

const nlohmann::json& acknowledgement() {
  static const nlohmann::json ack = {{"ok", true}, {"ready", true}};
  return ack;
}

}  // namespace

nlohmann::json Bridge::command(const nlohmann::json& request, int fd, std::string_view token) {
  auto it = owners_.find(fd);
  if (it == owners_.end()) protocolError();
  Owner& owner = it->second;
  const nlohmann::json* cmdField = field(request, "cmd");
  if (cmdField == nullptr || !cmdField->is_string()) protocolError();
  const std::string& cmd = cmdField->get_ref<const std::string&>();

  if (!owner.authenticated) {
    const nlohmann::json* given = field(request, "token");
    if (cmd != "hello" || given == nullptr || !given->is_string() ||
        !sameToken(given->get_ref<const std::string&>(), token)) {
      protocolError();
    }
    owner.authenticated = true;
    return status();
  }
  if (!ready_) {
    owner.reset();
    return status();
  }
  if (cmd == "status") return acknowledgement();
  if (cmd == "reset") return handleReset(owner);
  if (cmd == "stop_motion") return handleStopMotion(owner);
  if (cmd == "keyboard") return handleKeyboard(request, fd, owner);
  if (cmd == "consumer") return handleConsumer(request, owner);
  if (cmd == "buttons") return handleButtons(request, owner);
  if (cmd == "move") return handleMove(request, fd);
  if (cmd == "wheel") return handleWheel(request, fd);
  if (cmd == "motion") return handleMotion(request, owner);
  protocolError();
}

nlohmann::json Bridge::handleReset(Owner& owner) {
  owner.reset();
  snapSession_.cancel();
  held();
  pointing(0, 0, 0, std::nullopt, false);
  return acknowledgement();
}

nlohmann::json Bridge::handleStopMotion(Owner& owner) {
  owner.stopMotion();
  return acknowledgement();
}

nlohmann::json Bridge::handleKeyboard(const nlohmann::json& request, int fd, Owner& owner) {
  std::int64_t modifiers = readInteger(field(request, "modifiers"), 0, 255);
  KeySet keys;
  readUsages(field(request, "keys"), kMaxKeyUsage,
             [&keys](std::int64_t usage) { keys.set(static_cast<std::size_t>(usage)); });
  bool fn = readFlag(field(request, "fn"));
  if (fn && backend_ == InputBackend::corehid) protocolError();
  KeySet all = keys;
  for (const auto& [otherFd, other] : owners_) {
    if (otherFd != fd) all |= other.keys;
  }
  if (all.count() > kMaxKeys) protocolError();
  owner.modifiers = modifiers;
  owner.fn = fn;
  owner.keys = keys;
  held();
  return acknowledgement();
}

nlohmann::json Bridge::handleConsumer(const nlohmann::json& request, Owner& owner) {
  ConsumerSet consumers;
  bool unknown = false;
  readUsages(field(request, "usages"), 1023, [&](std::int64_t usage) {
    auto index = consumerIndex(usage);
    if (index) {
      consumers.set(*index);
    } else {
      unknown = true;
    }
  });
  if (unknown) protocolError();
  owner.consumers = consumers;
  held();
  return acknowledgement();
}

nlohmann::json Bridge::handleButtons(const nlohmann::json& request, Owner& owner) {
  std::int64_t max = backend_ == InputBackend::corehid ? 31 : 7;
  std::int64_t buttons = readInteger(field(request, "buttons"), 0, max);
  if (buttons != owner.buttons) snapSession_.cancel();
  owner.buttons = buttons;
  pointing(0, 0, 0, std::nullopt, false);
  return acknowledgement();
}

nlohmann::json Bridge::handleMove(const nlohmann::json& request, int fd) {
  const nlohmann::json* snapField = field(request, "snap");
  bool snap = false;
  if (snapField == nullptr) {
    snapSession_.cancel();
  } else if (!snapField->is_boolean()) {
    protocolError();
  } else if (snapField->get<bool>()) {
    snap = true;
  } else {
    snapSession_.cancel();
  }
  std::int64_t dx = readInteger(field(request, "dx"), -127, 127);
  std::int64_t dy = readInteger(field(request, "dy"), -127, 127);
  pointing(dx, dy, 0, fd, snap);
  return acknowledgement();
}

nlohmann::json Bridge::handleWheel(const nlohmann::json& request, int fd) {
  std::int64_t amount = readInteger(field(request, "amount"), -127, 127);
  pointing(0, 0, amount, fd, false);
  return acknowledgement();
}

nlohmann::json Bridge::handleMotion(const nlohmann::json& request, Owner& owner) {
  std::int64_t dx = readInteger(field(request, "dx"), -127, 127);
  std::int64_t dy = readInteger(field(request, "dy"), -127, 127);
  auto t = static_cast<std::uint64_t>(
      readInteger(field(request, "t_ns"), 1, std::numeric_limits<std::int64_t>::max()));
  std::uint64_t now = clock_();
  // Sums are taken in unsigned 64-bit arithmetic; t is below 2^63, so neither can wrap.
  bool stale =
      t > now + 2'000'000 || now >= t + 40'000'000 || (owner.motionAt != 0 && t < owner.motionAt);
  if (stale) {
    owner.stopMotion();
    return {{"ok", true}, {"ready", true}, {"dropped", "stale_motion"}};
  }
  bool restart;
  if (owner.motionAt == 0 || now >= owner.motionAt + 40'000'000) {
    owner.fractionX = owner.fractionY = 0;
    owner.motionAt = owner.steppedAt = 0;
    restart = true;
  } else {
    restart = owner.steppedAt == 0;
  }
  owner.vx = static_cast<double>(dx) / 0.01;
  owner.vy = static_cast<double>(dy) / 0.01;
  owner.motionAt = t;
  if (restart) owner.steppedAt = now;
  if (dx == 0 && dy == 0) owner.stopMotion();
  return acknowledgement();
}

}  // namespace virelo
