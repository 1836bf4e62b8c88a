// virelo-{kde,wlroots,gnome}-poster: the bare poster of the Wayland figures (wayland_poster.h),
// driven by lines on standard input, each acted on as soon as it is read:
//   k CODE 1|0   press (1) or release (0) the evdev key code
//   t TEXT       type the text with the US layout: the keys of the client library's US table,
//                left shift held around the shifted ones, each press and release sent at once
//   p            write "p" on standard output (the floor of a command through this pipe)
// Writes {"type":"ready"} on standard output once the compositor takes its input, and ends at the
// end of its input. Started by the Wayland benchmark the way the service is started, as the same
// user with the same environment.
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <stdexcept>
#include <string>

#include "bench/wayland_poster.h"
#include "virelo/client/keys.h"
#include "virelo/client/layouts.h"

namespace virelo::bench {
namespace {

constexpr int kLeftShift = 42;  // evdev KEY_LEFTSHIFT
constexpr std::uint8_t kLeftShiftBit = 0x02;

void type(BarePoster& poster, std::string_view text) {
  for (const auto& stroke : client::KeyboardLayout::us().keystrokes(text)) {
    const int code = *client::evdevCodeOfUsage(stroke.usage);
    const bool shifted = (stroke.modifiers & kLeftShiftBit) != 0;
    if (shifted) poster.key(kLeftShift, true);
    poster.key(code, true);
    poster.key(code, false);
    if (shifted) poster.key(kLeftShift, false);
  }
}

void say(const char* line) {
  if (::write(1, line, std::char_traits<char>::length(line)) < 0) {
    throw std::runtime_error("standard output is gone");
  }
}

void act(BarePoster& poster, const std::string& line) {
  if (line.rfind("k ", 0) == 0) {
    const auto space = line.find(' ', 2);
    poster.key(std::stoi(line.substr(2, space - 2)), line.substr(space + 1) == "1");
  } else if (line.rfind("t ", 0) == 0) {
    type(poster, std::string_view(line).substr(2));
  } else if (line == "p") {
    say("p\n");
  }
}

}  // namespace
}  // namespace virelo::bench

int main() {
  try {
    auto poster = virelo::bench::openBarePoster();
    virelo::bench::say("{\"type\":\"ready\"}\n");
    // Unbuffered reads, so that a line is acted on as soon as it arrives.
    std::string pending;
    char chunk[4096];
    ssize_t got;
    while ((got = ::read(0, chunk, sizeof(chunk))) > 0) {
      pending.append(chunk, static_cast<std::size_t>(got));
      for (auto end = pending.find('\n'); end != std::string::npos; end = pending.find('\n')) {
        virelo::bench::act(*poster, pending.substr(0, end));
        pending.erase(0, end + 1);
      }
    }
  } catch (const std::exception& e) {
    std::cerr << "bare poster: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
