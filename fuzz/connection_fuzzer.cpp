// libFuzzer entry: arbitrary bytes through the connection framing, the JSON parser and the
// command handling of an in-process bridge. The first two bytes choose the backend, whether a
// valid "hello" and a bystander client come first, and how many bytes go into each send.
#include <cstddef>
#include <cstdint>
#include <span>

#include "fuzz/fuzz_session.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  virelo::fuzz::FuzzOptions options;
  auto bytes = virelo::fuzz::readOptions(std::span(data, size), options);
  if (size < 2) return 0;
  virelo::fuzz::FuzzSession session(options);
  session.play(bytes);
  return 0;
}
