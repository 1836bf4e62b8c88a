// The bare poster on a wlroots compositor: a zwp_virtual_keyboard_v1 on the first seat with the
// keymap's defaults (XKB_DEFAULT_* or "us"), one key request per key, and, since a virtual
// keyboard tells the compositor its modifiers itself, a modifiers request whenever a key changes
// them (kept in an XKB state of the same keymap); each flushed at once.
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>

#include "bench/wayland_poster.h"
#include "wlroots_protocols/virtual-keyboard-unstable-v1.h"

namespace virelo::bench {
namespace {

struct Globals {
  wl_seat* seat = nullptr;
  zwp_virtual_keyboard_manager_v1* manager = nullptr;
};

void global(void* data, wl_registry* registry, std::uint32_t name, const char* interface,
            std::uint32_t) {
  auto* globals = static_cast<Globals*>(data);
  if (std::strcmp(interface, wl_seat_interface.name) == 0 && globals->seat == nullptr) {
    globals->seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
  } else if (std::strcmp(interface, zwp_virtual_keyboard_manager_v1_interface.name) == 0) {
    globals->manager = static_cast<zwp_virtual_keyboard_manager_v1*>(
        wl_registry_bind(registry, name, &zwp_virtual_keyboard_manager_v1_interface, 1));
  }
}

void globalRemove(void*, wl_registry*, std::uint32_t) {}

const wl_registry_listener kRegistryListener = {global, globalRemove};

// The keymap text, ending in its NUL, in a memory file, as the protocol takes it.
int keymapFile(const std::string& text) {
  const int fd = ::memfd_create("virelo-bench-keymap", MFD_CLOEXEC);
  if (fd < 0) throw std::runtime_error("memfd_create");
  if (::write(fd, text.c_str(), text.size() + 1) != static_cast<ssize_t>(text.size() + 1)) {
    throw std::runtime_error("the keymap could not be written");
  }
  return fd;
}

class WlrootsPoster : public BarePoster {
 public:
  WlrootsPoster();
  ~WlrootsPoster() override;

  void key(int evdev, bool press) override;

 private:
  wl_display* display_ = nullptr;
  Globals globals_;
  zwp_virtual_keyboard_v1* keyboard_ = nullptr;
  xkb_context* context_ = nullptr;
  xkb_keymap* keymap_ = nullptr;
  xkb_state* state_ = nullptr;
  std::uint32_t depressed_ = 0, latched_ = 0, locked_ = 0, group_ = 0;
};

WlrootsPoster::WlrootsPoster() {
  display_ = wl_display_connect(nullptr);
  if (display_ == nullptr) throw std::runtime_error("no Wayland display");
  wl_registry* registry = wl_display_get_registry(display_);
  wl_registry_add_listener(registry, &kRegistryListener, &globals_);
  if (wl_display_roundtrip(display_) < 0)
    throw std::runtime_error("the compositor does not answer");
  wl_registry_destroy(registry);
  if (globals_.seat == nullptr || globals_.manager == nullptr) {
    throw std::runtime_error("the compositor offers no virtual keyboard");
  }
  context_ = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
  keymap_ = context_ ? xkb_keymap_new_from_names(context_, nullptr, XKB_KEYMAP_COMPILE_NO_FLAGS)
                     : nullptr;
  if (keymap_ == nullptr) throw std::runtime_error("no XKB keymap");
  state_ = xkb_state_new(keymap_);
  char* text = xkb_keymap_get_as_string(keymap_, XKB_KEYMAP_FORMAT_TEXT_V1);
  const std::string keymap = text;
  std::free(text);
  keyboard_ =
      zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(globals_.manager, globals_.seat);
  const int fd = keymapFile(keymap);
  zwp_virtual_keyboard_v1_keymap(keyboard_, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd,
                                 static_cast<std::uint32_t>(keymap.size() + 1));
  ::close(fd);
  if (wl_display_roundtrip(display_) < 0) throw std::runtime_error("the keyboard was refused");
}

WlrootsPoster::~WlrootsPoster() {
  zwp_virtual_keyboard_v1_destroy(keyboard_);
  zwp_virtual_keyboard_manager_v1_destroy(globals_.manager);
  wl_seat_destroy(globals_.seat);
  wl_display_disconnect(display_);
  xkb_state_unref(state_);
  xkb_keymap_unref(keymap_);
  xkb_context_unref(context_);
}

void WlrootsPoster::key(int evdev, bool press) {
  const auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now().time_since_epoch());
  const auto code = static_cast<std::uint32_t>(evdev);
  zwp_virtual_keyboard_v1_key(
      keyboard_, static_cast<std::uint32_t>(millis.count()), code,
      press ? WL_KEYBOARD_KEY_STATE_PRESSED : WL_KEYBOARD_KEY_STATE_RELEASED);
  xkb_state_update_key(state_, code + 8, press ? XKB_KEY_DOWN : XKB_KEY_UP);
  const std::uint32_t depressed = xkb_state_serialize_mods(state_, XKB_STATE_MODS_DEPRESSED);
  const std::uint32_t latched = xkb_state_serialize_mods(state_, XKB_STATE_MODS_LATCHED);
  const std::uint32_t locked = xkb_state_serialize_mods(state_, XKB_STATE_MODS_LOCKED);
  const std::uint32_t group = xkb_state_serialize_layout(state_, XKB_STATE_LAYOUT_EFFECTIVE);
  if (depressed != depressed_ || latched != latched_ || locked != locked_ || group != group_) {
    depressed_ = depressed;
    latched_ = latched;
    locked_ = locked;
    group_ = group;
    zwp_virtual_keyboard_v1_modifiers(keyboard_, depressed, latched, locked, group);
  }
  if (wl_display_flush(display_) < 0) throw std::runtime_error("the compositor's connection broke");
}

}  // namespace

std::unique_ptr<BarePoster> openBarePoster() {
  return std::make_unique<WlrootsPoster>();
}

}  // namespace virelo::bench
