// What typing costs in the client: 1,000 characters of mixed text (letters, capitals, digits,
// AltGr characters, dead-key compositions, whitespace) on the "de" layout, mapped to keystrokes,
// against the round trips that typing the same text sends to the real service on the simulated
// host, measured in the same run. The round trips are the baseline: the mapping must stay a small
// fraction of them.
//
//   typing_bench [--repeat N]   (N runs of each figure, the median is reported; default 5)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tests/support/service_process.h"
#include "tests/support/service_user.h"
#include "virelo/client/client.h"
#include "virelo/client/layouts.h"

namespace {

using namespace virelo;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kCharacters = 1000;

// kCharacters characters (code points) cut from a sample repeated.
std::string mixedText() {
  const std::string sample = "Grüße, Jürgen! Où est-ce? 3 € @home <é> ^x 42\n\tÄrger ô ";
  std::string text;
  std::size_t count = 0;
  for (std::size_t i = 0;; i = (i + 1) % sample.size()) {
    const bool starts = (static_cast<unsigned char>(sample[i]) & 0xC0) != 0x80;
    if (starts && count++ == kCharacters) return text;
    text += sample[i];
  }
}

template <typename Fn>
double medianMicroseconds(int repeat, Fn&& fn) {
  std::vector<double> runs;
  for (int i = 0; i < repeat; ++i) {
    auto start = Clock::now();
    fn();
    runs.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
  }
  std::sort(runs.begin(), runs.end());
  return runs[runs.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  int repeat = 5;
  if (argc == 3 && std::strcmp(argv[1], "--repeat") == 0) repeat = std::max(1, std::atoi(argv[2]));
  test::ServiceUser::adopt();
  const std::string text = mixedText();
  const client::LayoutName de = client::parseLayoutName("de");

  auto coldStart = Clock::now();
  auto layout = client::KeyboardLayout::named(de);
  const double compile =
      std::chrono::duration<double, std::micro>(Clock::now() - coldStart).count();
  std::size_t strokes = 0;
  const double mapping =
      medianMicroseconds(repeat * 20, [&] { strokes = layout->keystrokes(text).size(); });

  test::ServiceProcess service;
  service.awaitReady();
  client::Client client(service.socketPath());
  client.hello(service.token());
  const double typing =
      medianMicroseconds(repeat, [&] { client::typeText(client, text, *layout); });
  const double roundTrips = typing - mapping;

  std::printf("| figure (1,000 characters, layout de) | µs | ratio to the round trips |\n");
  std::printf("|---|---:|---:|\n");
  std::printf("| round trips of typing (baseline, %zu keystrokes) | %.0f | 1 |\n", strokes,
              roundTrips);
  std::printf("| mapping, layout cached | %.1f | %.6f |\n", mapping, mapping / roundTrips);
  std::printf("| compiling the layout, once per process | %.0f | %.3f |\n", compile,
              compile / roundTrips);
  return mapping < roundTrips ? 0 : 1;
}
