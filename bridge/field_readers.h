// Readers for the fields of a command. Each fails with Failure::protocolError.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>

#include "bridge/command_request.h"
#include "bridge/reports.h"

namespace virelo {

// A JSON number with a whole value that fits a signed 64-bit integer and lies in [min, max];
// a whole value in floating form (5.0, 1e2) counts as that integer. An absent value fails.
std::int64_t readInteger(const FieldValue& value, std::int64_t min, std::int64_t max);
// The same for a parsed JSON value; value may be null (absent).
std::int64_t readInteger(const nlohmann::json* value, std::int64_t min, std::int64_t max);

// A JSON array of at most 32 integers in [1, max], read as a set. Calls `add` for each element in
// array order, after all have been checked. `list` holds the elements when value is an array.
template <typename Add>
void readUsages(const FieldValue& value, const FieldList& list, std::int64_t max, Add add);
template <typename Add>
void readUsages(const nlohmann::json* value, std::int64_t max, Add add);

// An absent key reads as false; otherwise it must be a JSON boolean.
bool readFlag(const FieldValue& value);
bool readFlag(const nlohmann::json* value);

// The value under key, or null when the key is absent.
inline const nlohmann::json* field(const nlohmann::json& object, const char* key) {
  auto it = object.find(key);
  return it == object.end() ? nullptr : &*it;
}

void checkUsageList(const FieldValue& value, std::size_t size);
void checkUsageList(const nlohmann::json* value);

template <typename Add>
void readUsages(const FieldValue& value, const FieldList& list, std::int64_t max, Add add) {
  checkUsageList(value, list.size);
  std::array<std::int64_t, kMaxKeys> read{};
  for (std::size_t i = 0; i < list.size; ++i) read[i] = readInteger(list.elements[i], 1, max);
  for (std::size_t i = 0; i < list.size; ++i) add(read[i]);
}

template <typename Add>
void readUsages(const nlohmann::json* value, std::int64_t max, Add add) {
  checkUsageList(value);
  std::array<std::int64_t, kMaxKeys> read{};
  std::size_t n = 0;
  for (const auto& element : *value) read[n++] = readInteger(&element, 1, max);
  for (std::size_t i = 0; i < n; ++i) add(read[i]);
}

}  // namespace virelo
