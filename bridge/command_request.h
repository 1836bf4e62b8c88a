// One command line as the command protocol reads it: the fields it knows ("cmd", "token",
// "modifiers", "keys", "fn", "usages", "buttons", "snap", "dx", "dy", "amount", "t_ns"), each with
// the kind and value of its JSON value, in a fixed structure that is reused from line to line.
// Keys that no command reads are skipped; when a key appears more than once, the last value
// counts (as in a parsed JSON object).
//
// Threads: one object per thread; the main thread's connection layer owns the service's.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "bridge/reports.h"

namespace virelo {

// One JSON value, as far as the field readers look at it.
struct FieldValue {
  enum class Kind : std::uint8_t {
    absent,
    null,
    boolean,
    negativeInteger,  // a negative whole number
    unsignedInteger,  // a non-negative whole number
    floating,         // a number with a fraction or an exponent, or too large for 64 bits
    string,
    array,
    object,
  };
  Kind kind = Kind::absent;
  bool boolean = false;
  std::int64_t integer = 0;
  std::uint64_t unsignedInteger = 0;
  double floating = 0;

  bool present() const { return kind != Kind::absent; }
};

// An array field read as a usage list: its length and its first kMaxKeys elements (a longer list
// is refused on its length alone).
struct FieldList {
  std::size_t size = 0;
  std::array<FieldValue, kMaxKeys> elements{};
};

// The kind and value of a parsed JSON value (arrays and objects only by their kind).
FieldValue fieldValue(const nlohmann::json& value);

enum class CommandField : std::uint8_t {
  cmd,
  token,
  modifiers,
  keys,
  fn,
  usages,
  buttons,
  snap,
  dx,
  dy,
  amount,
  tNs,
};
inline constexpr std::size_t kCommandFieldCount = 12;

class FastCommandReader;

class CommandRequest {
 public:
  CommandRequest();
  ~CommandRequest();
  CommandRequest(CommandRequest&&) noexcept;
  CommandRequest& operator=(CommandRequest&&) noexcept;

  // Reads one line. Returns false when it is not a JSON text whose top level is an object; the
  // fields are then unspecified.
  bool parse(std::string_view line);
  // Reads an already parsed JSON object (the fields of any other value are all absent).
  void assign(const nlohmann::json& object);

  const FieldValue& operator[](CommandField f) const {
    return values_[static_cast<std::size_t>(f)];
  }
  // The elements of "keys" or "usages" when that field is an array.
  const FieldList& list(CommandField f) const { return f == CommandField::keys ? keys_ : usages_; }
  // The text of "cmd" and of "token" when they are strings.
  const std::string& cmd() const { return cmd_; }
  const std::string& token() const { return token_; }

 private:
  friend class CommandRequestReader;
  void clear();
  // Prepares the field for a new value (a repeated key replaces the earlier value).
  void reset(CommandField f);
  FieldList& mutableList(CommandField f) { return f == CommandField::keys ? keys_ : usages_; }

  std::array<FieldValue, kCommandFieldCount> values_{};
  FieldList keys_;
  FieldList usages_;
  std::string cmd_;
  std::string token_;
  // Created by the first parse; its buffers are kept from line to line.
  std::unique_ptr<FastCommandReader> fast_;
};

}  // namespace virelo
