// libFuzzer entry: one command line read by the service's line reader and by nlohmann's JSON
// document parser. Both must agree on whether the line is a JSON object and, when it is, on every
// field a command reads. Any difference aborts, which libFuzzer reports as a finding. nlohmann
// lets two kinds of line through that are not JSON text and that the line reader refuses: one
// with a zero byte (nlohmann's end of the text) and one with a leading byte-order mark (skipped).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string_view>

#include "bridge/command_request.h"

namespace {

using virelo::CommandField;
using virelo::CommandRequest;
using virelo::FieldValue;
using Kind = FieldValue::Kind;

[[noreturn]] void differ(const char* what) {
  std::fprintf(stderr, "command_line_fuzzer: the readers differ on %s\n", what);
  std::abort();
}

bool sameValue(const FieldValue& a, const FieldValue& b) {
  if (a.kind != b.kind) return false;
  switch (a.kind) {
    case Kind::boolean:
      return a.boolean == b.boolean;
    case Kind::negativeInteger:
      return a.integer == b.integer;
    case Kind::unsignedInteger:
      return a.unsignedInteger == b.unsignedInteger;
    case Kind::floating:
      return a.floating == b.floating;
    default:
      return true;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static CommandRequest direct;  // reused, as the service reuses its own
  std::string_view line(reinterpret_cast<const char*>(data), size);
  auto document = nlohmann::json::parse(line, nullptr, false);
  bool isObject = direct.parse(line);
  bool notText = line.find('\0') != std::string_view::npos || line.starts_with("\xEF\xBB\xBF");
  if (isObject != (document.is_object() && !notText)) differ("whether the line is an object");
  if (!isObject) return 0;
  CommandRequest expected;
  expected.assign(document);
  for (std::size_t i = 0; i < virelo::kCommandFieldCount; ++i) {
    auto f = static_cast<CommandField>(i);
    if (!sameValue(direct[f], expected[f])) differ("a field's value");
    if (f == CommandField::keys || f == CommandField::usages) {
      const auto& a = direct.list(f);
      const auto& b = expected.list(f);
      if (a.size != b.size) differ("a list's length");
      for (std::size_t k = 0; k < std::min(a.size, a.elements.size()); ++k) {
        if (!sameValue(a.elements[k], b.elements[k])) differ("a list element");
      }
    }
  }
  if (direct.cmd() != expected.cmd() || direct.token() != expected.token()) differ("a text");
  return 0;
}
