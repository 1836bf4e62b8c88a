// The command protocol: the handshake, the vocabulary and what each command changes.
#include <cstring>
#include <string>

#include "bridge/bridge.h"
#include "bridge/field_readers.h"
#include "bridge/token_compare.h"
#include "core/failure.h"
#include "virelo/protocol/limits.h"
#include "virelo/protocol/names.h"

namespace virelo {
namespace {

using Kind = FieldValue::Kind;
using F = CommandField;
namespace commands = protocol::commands;
using protocol::kMaxConsumerUsage;
using protocol::kMaxDelta;

[[noreturn]] void protocolError() {
  throw FailureError(Failure::protocolError);
}

}  // namespace

CommandReply Bridge::hello(const CommandRequest& request, std::string_view token) const {
  if (request[F::cmd].kind != Kind::string || request.cmd() != commands::hello ||
      request[F::token].kind != Kind::string || !sameToken(request.token(), token)) {
    protocolError();
  }
  return CommandReply::status;
}

CommandReply Bridge::command(const CommandRequest& request, int fd) {
  auto it = owners_.find(fd);
  if (it == owners_.end()) protocolError();
  Owner& owner = it->second;
  if (request[F::cmd].kind != Kind::string) protocolError();
  const std::string& cmd = request.cmd();
  if (!ready_) {
    owner.reset();
    return CommandReply::status;
  }
  if (cmd == commands::status) return CommandReply::acknowledgement;
  if (cmd == commands::reset) return handleReset(owner);
  if (cmd == commands::stopMotion) return handleStopMotion(owner);
  if (cmd == commands::keyboard) return handleKeyboard(request, fd, owner);
  if (cmd == commands::consumer) return handleConsumer(request, owner);
  if (cmd == commands::buttons) return handleButtons(request, owner);
  if (cmd == commands::move) return handleMove(request, fd);
  if (cmd == commands::wheel) return handleWheel(request, fd);
  if (cmd == commands::motion) return handleMotion(request, owner);
  protocolError();
}

CommandReply Bridge::handleReset(Owner& owner) {
  owner.reset();
  snapSession_.cancel();
  resend();
  return CommandReply::acknowledgement;
}

CommandReply Bridge::handleStopMotion(Owner& owner) {
  owner.stopMotion();
  return CommandReply::acknowledgement;
}

CommandReply Bridge::handleKeyboard(const CommandRequest& request, int fd, Owner& owner) {
  std::int64_t modifiers = readInteger(request[F::modifiers], 0, protocol::kMaxModifiers);
  KeySet keys;
  readUsages(request[F::keys], request.list(F::keys), kMaxKeyUsage,
             [&keys](std::int64_t usage) { keys.set(static_cast<std::size_t>(usage)); });
  bool fn = readFlag(request[F::fn]);
  if (fn && !sink_->limits().fnAllowed) protocolError();
  KeySet all = keys;
  for (const auto& [otherFd, other] : owners_) {
    if (otherFd != fd) all |= other.keys;
  }
  if (all.count() > kMaxKeys) protocolError();
  owner.modifiers = modifiers;
  owner.fn = fn;
  owner.keys = keys;
  held();
  return CommandReply::acknowledgement;
}

CommandReply Bridge::handleConsumer(const CommandRequest& request, Owner& owner) {
  ConsumerSet consumers;
  bool unknown = false;
  readUsages(request[F::usages], request.list(F::usages), kMaxConsumerUsage,
             [&](std::int64_t usage) {
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
  return CommandReply::acknowledgement;
}

CommandReply Bridge::handleButtons(const CommandRequest& request, Owner& owner) {
  std::int64_t buttons = readInteger(request[F::buttons], 0, sink_->limits().maxButtons);
  if (buttons != owner.buttons) snapSession_.cancel();
  owner.buttons = buttons;
  pointing(0, 0, 0, std::nullopt, false);
  return CommandReply::acknowledgement;
}

CommandReply Bridge::handleMove(const CommandRequest& request, int fd) {
  const FieldValue& snapField = request[F::snap];
  bool snap = false;
  if (!snapField.present()) {
    snapSession_.cancel();
  } else if (snapField.kind != Kind::boolean) {
    protocolError();
  } else if (snapField.boolean) {
    snap = true;
  } else {
    snapSession_.cancel();
  }
  std::int64_t dx = readInteger(request[F::dx], -kMaxDelta, kMaxDelta);
  std::int64_t dy = readInteger(request[F::dy], -kMaxDelta, kMaxDelta);
  pointing(dx, dy, 0, fd, snap);
  return CommandReply::acknowledgement;
}

CommandReply Bridge::handleWheel(const CommandRequest& request, int fd) {
  std::int64_t amount = readInteger(request[F::amount], -kMaxDelta, kMaxDelta);
  pointing(0, 0, amount, fd, false);
  return CommandReply::acknowledgement;
}

CommandReply Bridge::handleMotion(const CommandRequest& request, Owner& owner) {
  std::int64_t dx = readInteger(request[F::dx], -kMaxDelta, kMaxDelta);
  std::int64_t dy = readInteger(request[F::dy], -kMaxDelta, kMaxDelta);
  auto t = static_cast<std::uint64_t>(
      readInteger(request[F::tNs], 1, std::numeric_limits<std::int64_t>::max()));
  std::uint64_t now = clock_();
  // Sums are taken in unsigned 64-bit arithmetic; t is below 2^63, so neither can wrap.
  bool stale = t > now + protocol::kMotionAheadNS || now >= t + kMotionLapseNS ||
               (owner.motionAt != 0 && t < owner.motionAt);
  if (stale) {
    owner.stopMotion();
    return CommandReply::staleMotion;
  }
  bool restart;
  if (owner.motionAt == 0 || now >= owner.motionAt + kMotionLapseNS) {
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
  return CommandReply::acknowledgement;
}

}  // namespace virelo
