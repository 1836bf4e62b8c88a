// libFuzzer entry: one command line read by the service's line reader and by simdjson's DOM
// parser, a strict RFC 8259 parser (it validates UTF-8, refuses unescaped control characters,
// unpaired surrogate escapes, a byte-order mark and anything after the text). Both must agree on
// whether the line is a JSON object and, when it is, on every field a command reads: its kind,
// its number as a whole number or a double, the texts of "cmd" and "token" and the usage lists.
// Any difference aborts, which libFuzzer reports as a finding.
//
// simdjson refuses a whole number outside 64 bits, which JSON allows (the service reads it as a
// double): when simdjson's only complaint is a number and the service took the line, the line
// must hold a run of at least 19 digits, and its fields are not compared.
#include <simdjson.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string_view>

#include "bridge/command_request.h"

namespace {

using virelo::CommandField;
using virelo::CommandRequest;
using virelo::FieldList;
using virelo::FieldValue;
using Kind = FieldValue::Kind;
using simdjson::dom::element;
using simdjson::dom::element_type;

constexpr std::array<std::string_view, virelo::kCommandFieldCount> kNames = {
    "cmd",     "token", "modifiers", "keys", "fn",     "usages",
    "buttons", "snap",  "dx",        "dy",   "amount", "t_ns"};

[[noreturn]] void differ(const char* what) {
  std::fprintf(stderr, "strict_json_fuzzer: the line reader and simdjson differ on %s\n", what);
  std::abort();
}

// The reader's value against simdjson's: the same kind (whole numbers of either sign as one)
// and, for booleans and numbers, the same value.
bool sameValue(const FieldValue& mine, element theirs) {
  switch (theirs.type()) {
    case element_type::INT64: {
      std::int64_t n = theirs.get_int64().value_unsafe();
      if (mine.kind == Kind::negativeInteger) return mine.integer == n;
      return mine.kind == Kind::unsignedInteger && n >= 0 &&
             mine.unsignedInteger == static_cast<std::uint64_t>(n);
    }
    case element_type::UINT64:
      return mine.kind == Kind::unsignedInteger &&
             mine.unsignedInteger == theirs.get_uint64().value_unsafe();
    case element_type::DOUBLE:
      return mine.kind == Kind::floating && mine.floating == theirs.get_double().value_unsafe();
    case element_type::BOOL:
      return mine.kind == Kind::boolean && mine.boolean == theirs.get_bool().value_unsafe();
    case element_type::NULL_VALUE:
      return mine.kind == Kind::null;
    case element_type::STRING:
      return mine.kind == Kind::string;
    case element_type::ARRAY:
      return mine.kind == Kind::array;
    case element_type::OBJECT:
      return mine.kind == Kind::object;
  }
  return false;
}

void compareList(const FieldList& mine, element theirs) {
  if (!theirs.is_array()) return;
  simdjson::dom::array elements = theirs.get_array().value_unsafe();
  if (mine.size != elements.size()) differ("a list's length");
  std::size_t i = 0;
  for (element e : elements) {
    if (i == mine.elements.size()) break;
    if (!sameValue(mine.elements[i++], e)) differ("a list element");
  }
}

void compareText(std::string_view mine, element theirs) {
  if (theirs.is_string() && mine != theirs.get_string().value_unsafe()) differ("a text");
}

// Every field the reader kept against the last member of that name in simdjson's object.
void compareFields(const CommandRequest& mine, simdjson::dom::object theirs) {
  for (std::size_t i = 0; i < kNames.size(); ++i) {
    auto f = static_cast<CommandField>(i);
    std::optional<element> last;
    for (auto member : theirs) {
      if (member.key == kNames[i]) last = member.value;
    }
    if (!last) {
      if (mine[f].present()) differ("a field simdjson does not see");
      continue;
    }
    if (!sameValue(mine[f], *last)) differ("a field's value");
    if (f == CommandField::keys || f == CommandField::usages) compareList(mine.list(f), *last);
    if (f == CommandField::cmd) compareText(mine.cmd(), *last);
    if (f == CommandField::token) compareText(mine.token(), *last);
  }
}

bool hasLongDigitRun(std::string_view line) {
  std::size_t run = 0;
  for (char c : line) {
    run = (c >= '0' && c <= '9') ? run + 1 : 0;
    if (run >= 19) return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static CommandRequest mine;  // reused, as the service reuses its own
  static simdjson::dom::parser parser = [] {
    simdjson::dom::parser p;
    // Deep enough for any nesting a line of the fuzzer's length can hold.
    if (p.allocate(1 << 16, 1 << 16) != simdjson::SUCCESS) std::abort();
    return p;
  }();
  std::string_view line(reinterpret_cast<const char*>(data), size);
  bool isObject = mine.parse(line);
  simdjson::padded_string padded(line);
  auto theirs = parser.parse(padded);
  if (theirs.error() == simdjson::NUMBER_ERROR) {
    if (isObject && !hasLongDigitRun(line)) differ("a number");
    return 0;
  }
  bool theirsObject = !theirs.error() && theirs.value_unsafe().is_object();
  if (isObject != theirsObject) differ("whether the line is an object");
  if (isObject) compareFields(mine, theirs.value_unsafe().get_object().value_unsafe());
  return 0;
}
