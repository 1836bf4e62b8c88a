#include "bridge/field_readers.h"

#include <cmath>
#include <limits>

#include "service/failure.h"

namespace virelo {
namespace {

[[noreturn]] void fail() {
  throw FailureError(Failure::protocolError);
}

}  // namespace

std::int64_t readInteger(const nlohmann::json* value, std::int64_t min, std::int64_t max) {
  if (value == nullptr) fail();
  std::int64_t result;
  switch (value->type()) {
    case nlohmann::json::value_t::number_integer:
      result = value->get<std::int64_t>();
      break;
    case nlohmann::json::value_t::number_unsigned: {
      auto u = value->get<std::uint64_t>();
      if (u > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) fail();
      result = static_cast<std::int64_t>(u);
      break;
    }
    case nlohmann::json::value_t::number_float: {
      double d = value->get<double>();
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

void checkUsageList(const nlohmann::json* value) {
  if (value == nullptr || !value->is_array() || value->size() > kMaxKeys) fail();
}

bool readFlag(const nlohmann::json* value) {
  if (value == nullptr) return false;
  if (!value->is_boolean()) fail();
  return value->get<bool>();
}

}  // namespace virelo
