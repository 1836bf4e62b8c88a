// The bare poster on KWin: org_kde_kwin_fake_input (version 4, for keys), bound from the registry
// and authenticated, one keyboard_key request per key, each flushed at once. KWin lists the global
// only to a program that a desktop file names, after looking the program up, so the registry is
// asked again until it lists it.
#include <wayland-client.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <thread>

#include "bench/wayland_poster.h"
#include "fake_input_client.h"

namespace virelo::bench {
namespace {

using namespace std::chrono_literals;

constexpr std::uint32_t kFakeInputVersion = 4;

void global(void* data, wl_registry* registry, std::uint32_t name, const char* interface,
            std::uint32_t version) {
  auto** input = static_cast<org_kde_kwin_fake_input**>(data);
  if (std::strcmp(interface, org_kde_kwin_fake_input_interface.name) == 0 &&
      version >= kFakeInputVersion && *input == nullptr) {
    *input = static_cast<org_kde_kwin_fake_input*>(
        wl_registry_bind(registry, name, &org_kde_kwin_fake_input_interface, kFakeInputVersion));
  }
}

void globalRemove(void*, wl_registry*, std::uint32_t) {}

const wl_registry_listener kRegistryListener = {global, globalRemove};

class KdePoster : public BarePoster {
 public:
  KdePoster(wl_display* display, org_kde_kwin_fake_input* input)
      : display_(display), input_(input) {}
  ~KdePoster() override {
    org_kde_kwin_fake_input_destroy(input_);
    wl_display_disconnect(display_);
  }

  void key(int evdev, bool press) override {
    org_kde_kwin_fake_input_keyboard_key(input_, static_cast<std::uint32_t>(evdev), press ? 1 : 0);
    if (wl_display_flush(display_) < 0) throw std::runtime_error("KWin's connection broke");
  }

 private:
  wl_display* display_;
  org_kde_kwin_fake_input* input_;
};

// One connection's try: the fake input when the registry lists it, else nullptr.
org_kde_kwin_fake_input* bindFakeInput(wl_display* display) {
  org_kde_kwin_fake_input* input = nullptr;
  wl_registry* registry = wl_display_get_registry(display);
  wl_registry_add_listener(registry, &kRegistryListener, &input);
  if (wl_display_roundtrip(display) < 0) throw std::runtime_error("KWin does not answer");
  wl_registry_destroy(registry);
  return input;
}

}  // namespace

std::unique_ptr<BarePoster> openBarePoster() {
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  for (;;) {
    wl_display* display = wl_display_connect(nullptr);
    if (display == nullptr) throw std::runtime_error("no Wayland display");
    if (auto* input = bindFakeInput(display)) {
      org_kde_kwin_fake_input_authenticate(input, "Virelo benchmark", "the bare baseline");
      if (wl_display_roundtrip(display) < 0) throw std::runtime_error("KWin does not answer");
      return std::make_unique<KdePoster>(display, input);
    }
    wl_display_disconnect(display);
    if (std::chrono::steady_clock::now() > deadline) {
      throw std::runtime_error("KWin offers no fake input to this program");
    }
    std::this_thread::sleep_for(100ms);
  }
}

}  // namespace virelo::bench
