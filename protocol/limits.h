// The wire protocol's numbers: what the service enforces and what a client keeps to. Plain
// constants, shared by the service's layers and the client library (docs/protocol.md).
#pragma once

#include <cstddef>
#include <cstdint>

namespace virelo::protocol {

// The protocol version that the hello reply, every status object and the ready event carry.
inline constexpr int kVersion = 1;

// Connections: the clients served at once, and how long a client may take to authenticate.
inline constexpr std::size_t kMaxClients = 4;
inline constexpr std::uint64_t kAuthenticateNS = 2'000'000'000;

// Framing: the longest request line (its newline not counted), the most bytes held unanswered for
// one client, and the most complete lines served from one read of a client in one pass.
inline constexpr std::size_t kMaxLineBytes = 2048;
inline constexpr std::size_t kMaxPendingBytes = 4096;
inline constexpr int kMaxLinesPerPass = 32;

// The longest socket path, in bytes, and the token's length in hexadecimal digits.
inline constexpr std::size_t kMaxSocketPathBytes = 103;
inline constexpr std::size_t kTokenHexDigits = 64;

// Field ranges. "keys" holds at most kMaxKeys usages of 1..kMaxKeyUsage, and all clients together
// hold at most kMaxKeys keys; "usages" elements are read in 1..kMaxConsumerUsage before they must
// name a media key; "dx", "dy" and "amount" lie in -kMaxDelta..kMaxDelta.
inline constexpr std::int64_t kMaxModifiers = 255;
inline constexpr std::size_t kMaxKeys = 32;
inline constexpr int kMaxKeyUsage = 231;
inline constexpr std::int64_t kMaxConsumerUsage = 1023;
inline constexpr std::int64_t kMaxDelta = 127;
// The highest "buttons" value: five buttons with "corehid", three with "cgevent".
inline constexpr std::int64_t kMaxButtonsCorehid = 31;
inline constexpr std::int64_t kMaxButtonsCgevent = 7;

// Motion: a sample's "dx" and "dy" are counts per kMotionSamplePeriodNS; motion lapses
// kMotionLapseNS after the last sample; a sample more than kMotionAheadNS ahead of the service's
// clock is stale.
inline constexpr std::uint64_t kMotionSamplePeriodNS = 10'000'000;
inline constexpr std::uint64_t kMotionLapseNS = 40'000'000;
inline constexpr std::uint64_t kMotionAheadNS = 2'000'000;

}  // namespace virelo::protocol
