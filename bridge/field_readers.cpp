#include "bridge/field_readers.h"

#include <cmath>
#include <limits>

#include "core/failure.h"

namespace virelo {
namespace {

using Kind = FieldValue::Kind;

[[noreturn]] void fail() {
  throw FailureError(Failure::protocolError);
}

}  // namespace

std::int64_t readInteger(const FieldValue& value, std::int64_t min, std::int64_t max) {
  std::int64_t result;
  switch (value.kind) {
    case Kind::negativeInteger:
      result = value.integer;
      break;
    case Kind::unsignedInteger:
      if (value.unsignedInteger >
          static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
        fail();
      }
      result = static_cast<std::int64_t>(value.unsignedInteger);
      break;
    case Kind::floating: {
      double d = value.floating;
      // 2^63 is exactly representable; every whole double below it and at or above -2^63 fits.
      constexpr double limit = 9223372036854775808.0;
      if (!std::isfinite(d) || std::trunc(d) != d || d < -limit || d >= limit) fail();
      result = static_cast<std::int64_t>(d);
      break;
    }
    default:
      fail();
  }
  if (result < min || result > max) fail();
  return result;
}

std::int64_t readInteger(const nlohmann::json* value, std::int64_t min, std::int64_t max) {
  return readInteger(value ? fieldValue(*value) : FieldValue{}, min, max);
}

void checkUsageList(const FieldValue& value, std::size_t size) {
  if (value.kind != Kind::array || size > kMaxKeys) fail();
}

void checkUsageList(const nlohmann::json* value) {
  if (value == nullptr || !value->is_array() || value->size() > kMaxKeys) fail();
}

bool readFlag(const FieldValue& value) {
  if (value.kind == Kind::absent) return false;
  if (value.kind != Kind::boolean) fail();
  return value.boolean;
}

bool readFlag(const nlohmann::json* value) {
  return readFlag(value ? fieldValue(*value) : FieldValue{});
}

}  // namespace virelo
