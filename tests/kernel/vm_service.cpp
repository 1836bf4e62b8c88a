// Stand-in for the service inside the test VM: creates the keyboard, mouse and media devices
// through UhidHidService with the service's properties, answers the kernel's requests with
// delegates that keep the last input report and the LED byte as the service's report delegates
// do, and turns command lines on standard input into complete input reports.
//
// Commands (one per line, numbers in decimal), mirroring what a client of the service sends:
//   keyboard <modifiers> [usage...]   held modifiers and keys
//   buttons <mask>                    held pointer buttons
//   move <dx> <dy>                    one relative move (the held buttons stay)
//   wheel <steps>                     one wheel movement
//   consumer [usage...]               held media usages
//   disconnect                        the client goes away: everything is released
// Answers "ok" per command, or "error <text>" when a dispatch failed. Prints "ready" once the
// devices are active and the all-zero reports are out. Ends at end of input.
//
// Threads: the main thread reads commands and dispatches; the devices' reader threads call the
// delegates, which lock their own state.
#include <unistd.h>

#include <algorithm>
#include <array>
#include <iostream>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/uhid/uhid_hid_service.h"
#include "platform/uhid/uhid_host.h"
#include "tests/uhid/test_descriptors.h"

namespace {

using virelo::HidDeviceError;
using virelo::HidReportType;
using Bytes = std::vector<std::uint8_t>;

// Keeps the device's last input report and, for the keyboard, the LED byte.
class StandInDelegate final : public virelo::HidVirtualDeviceDelegate {
 public:
  StandInDelegate(std::size_t reportSize, bool hasLEDs)
      : input_(reportSize, 0), hasLEDs_(hasLEDs) {}

  void store(const Bytes& report) {
    std::lock_guard<std::mutex> guard(lock_);
    input_ = report;
  }

  void setReport(HidReportType type, std::optional<std::uint8_t> id,
                 std::span<const std::uint8_t> data) override {
    if (id && *id != 0) throw HidDeviceError(HidDeviceError::Kind::unsupported);
    if (type == HidReportType::output && hasLEDs_ && data.size() == 1) {
      std::lock_guard<std::mutex> guard(lock_);
      leds_ = data[0] & 0x1F;
      return;
    }
    throw HidDeviceError(HidDeviceError::Kind::unsupported);
  }

  Bytes getReport(HidReportType type, std::optional<std::uint8_t> id,
                  std::size_t maxSize) override {
    if (id && *id != 0) throw HidDeviceError(HidDeviceError::Kind::unsupported);
    Bytes result;
    {
      std::lock_guard<std::mutex> guard(lock_);
      if (type == HidReportType::input) {
        result = input_;
      } else if (type == HidReportType::output && hasLEDs_) {
        result = {leds_};
      } else {
        throw HidDeviceError(HidDeviceError::Kind::unsupported);
      }
    }
    if (result.size() > maxSize) throw HidDeviceError(HidDeviceError::Kind::messageTooLarge);
    return result;
  }

 private:
  std::mutex lock_;
  Bytes input_;
  std::uint8_t leds_ = 0;
  const bool hasLEDs_;
};

constexpr std::array<unsigned, 6> consumerUsages = {0xE2, 0xE9, 0xEA, 0xCD, 0xB5, 0xB6};

std::int8_t clamp8(long v) {
  return static_cast<std::int8_t>(std::clamp(v, -127L, 127L));
}

struct Output {
  std::unique_ptr<virelo::HidVirtualDevice> keyboard, mouse, media;
  StandInDelegate keyboardDelegate{33, true}, mouseDelegate{4, false}, mediaDelegate{1, false};
  std::uint8_t buttons = 0;

  void send(virelo::HidVirtualDevice& device, StandInDelegate& delegate, const Bytes& report) {
    delegate.store(report);
    device.dispatchInputReport(report, 0);
  }
  void keys(std::uint8_t modifiers, std::set<unsigned> usages) {
    Bytes report(33, 0);
    report[0] = modifiers;
    std::size_t slot = 1;
    for (unsigned u : usages) {
      if (slot > 32) break;
      report[slot++] = static_cast<std::uint8_t>(u);
    }
    send(*keyboard, keyboardDelegate, report);
  }
  void pointer(long dx, long dy, long wheel) {
    Bytes report = {buttons, static_cast<std::uint8_t>(clamp8(dx)),
                    static_cast<std::uint8_t>(clamp8(dy)),
                    static_cast<std::uint8_t>(clamp8(wheel))};
    send(*mouse, mouseDelegate, report);
    mouseDelegate.store({buttons, 0, 0, 0});  // the rest report between pointer outputs
  }
  void consumer(const std::set<unsigned>& usages) {
    std::uint8_t bits = 0;
    for (std::size_t i = 0; i < consumerUsages.size(); ++i) {
      if (usages.count(consumerUsages[i])) bits |= static_cast<std::uint8_t>(1u << i);
    }
    send(*media, mediaDelegate, {bits});
  }
};

}  // namespace

int main(int argc, char** argv) {
  using virelo::uhid::testing::deviceProperties;
  std::string path = argc > 1 ? argv[1] : virelo::uhid::defaultUhidPath;
  virelo::uhid::UhidHidService service(path);
  Output out;
  out.keyboard = service.create(deviceProperties("keyboard"));
  out.mouse = service.create(deviceProperties("mouse"));
  out.media = service.create(deviceProperties("media"));
  if (!out.keyboard || !out.mouse || !out.media) {
    std::cout << "refused" << std::endl;
    return 1;
  }
  out.keyboard->activate(out.keyboardDelegate);
  out.mouse->activate(out.mouseDelegate);
  out.media->activate(out.mediaDelegate);
  try {
    out.keys(0, {});
    out.pointer(0, 0, 0);
    out.consumer({});
  } catch (const std::exception& e) {
    std::cout << "error " << e.what() << std::endl;
    return 1;
  }
  std::cout << "ready uid=" << ::getuid() << std::endl;

  std::string line;
  while (std::getline(std::cin, line)) {
    std::istringstream in(line);
    std::string cmd;
    in >> cmd;
    std::vector<long> args;
    long v;
    while (in >> v) args.push_back(v);
    auto usages = [&](std::size_t from) {
      std::set<unsigned> set;
      for (std::size_t i = from; i < args.size(); ++i) set.insert(static_cast<unsigned>(args[i]));
      return set;
    };
    try {
      if (cmd == "keyboard" && !args.empty()) {
        out.keys(static_cast<std::uint8_t>(args[0]), usages(1));
      } else if (cmd == "buttons" && args.size() == 1) {
        out.buttons = static_cast<std::uint8_t>(args[0] & 0x1F);
        out.pointer(0, 0, 0);
      } else if (cmd == "move" && args.size() == 2) {
        out.pointer(args[0], args[1], 0);
      } else if (cmd == "wheel" && args.size() == 1) {
        out.pointer(0, 0, args[0]);
      } else if (cmd == "consumer") {
        out.consumer(usages(0));
      } else if (cmd == "disconnect") {
        out.keys(0, {});
        out.buttons = 0;
        out.pointer(0, 0, 0);
        out.consumer({});
      } else {
        std::cout << "error unknown command" << std::endl;
        continue;
      }
      std::cout << "ok" << std::endl;
    } catch (const std::exception& e) {
      std::cout << "error " << e.what() << std::endl;
    }
  }
  return 0;
}
