#include "platform/wlroots/wayland_link.h"

#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstring>

#include "wlroots_protocols/virtual-keyboard-unstable-v1.h"
#include "wlroots_protocols/wlr-virtual-pointer-unstable-v1.h"
#include "wlroots_protocols/xdg-output-unstable-v1.h"

namespace virelo::wlroots {
namespace {

using Clock = std::chrono::steady_clock;

// The wheel's length of one click, as libinput reports a mouse wheel's.
constexpr double kClickLength = 15;

struct Output {
  std::uint32_t name = 0;
  wl_output* output = nullptr;
  zxdg_output_v1* xdg = nullptr;
  OutputPlace place;
};

}  // namespace

struct WaylandLink::Globals {
  wl_display* display = nullptr;
  wl_registry* registry = nullptr;
  wl_seat* seat = nullptr;
  zxdg_output_manager_v1* xdgOutputs = nullptr;
  zwp_virtual_keyboard_manager_v1* keyboards = nullptr;
  zwlr_virtual_pointer_manager_v1* pointers = nullptr;
  zwp_virtual_keyboard_v1* keyboard = nullptr;
  zwlr_virtual_pointer_v1* pointer = nullptr;
  std::vector<std::unique_ptr<Output>> outputs;

  void describe(Output& output);
  ~Globals();
};

namespace {

void noGeometry(void*, wl_output*, std::int32_t, std::int32_t, std::int32_t, std::int32_t,
                std::int32_t, const char*, const char*, std::int32_t) {}
void noMode(void*, wl_output*, std::uint32_t, std::int32_t, std::int32_t, std::int32_t) {}
void noDone(void*, wl_output*) {}
void outputScale(void* data, wl_output*, std::int32_t factor) {
  static_cast<Output*>(data)->place.scale = std::max(1, factor);
}
void noText(void*, wl_output*, const char*) {}
const wl_output_listener kOutputListener = {noGeometry,  noMode, noDone,
                                            outputScale, noText, noText};

void logicalPosition(void* data, zxdg_output_v1*, std::int32_t x, std::int32_t y) {
  auto& rect = static_cast<Output*>(data)->place.logical;
  rect.origin = {static_cast<double>(x), static_cast<double>(y)};
}
void logicalSize(void* data, zxdg_output_v1*, std::int32_t width, std::int32_t height) {
  auto& rect = static_cast<Output*>(data)->place.logical;
  rect.size = {static_cast<double>(width), static_cast<double>(height)};
}
void xdgDone(void*, zxdg_output_v1*) {}
void xdgName(void*, zxdg_output_v1*, const char*) {}
void xdgDescription(void*, zxdg_output_v1*, const char*) {}
const zxdg_output_v1_listener kXdgOutputListener = {logicalPosition, logicalSize, xdgDone, xdgName,
                                                    xdgDescription};

template <typename T>
T* bind(wl_registry* registry, std::uint32_t name, const wl_interface& interface,
        std::uint32_t offered, std::uint32_t wanted) {
  return static_cast<T*>(wl_registry_bind(registry, name, &interface, std::min(offered, wanted)));
}

void global(void* data, wl_registry* registry, std::uint32_t name, const char* interface,
            std::uint32_t version) {
  auto& g = *static_cast<WaylandLink::Globals*>(data);
  const std::string_view is(interface);
  if (is == wl_seat_interface.name && g.seat == nullptr) {
    g.seat = bind<wl_seat>(registry, name, wl_seat_interface, version, 1);
  } else if (is == wl_output_interface.name) {
    auto output = std::make_unique<Output>();
    output->name = name;
    output->output = bind<wl_output>(registry, name, wl_output_interface, version, 2);
    wl_output_add_listener(output->output, &kOutputListener, output.get());
    g.describe(*output);
    g.outputs.push_back(std::move(output));
  } else if (is == zxdg_output_manager_v1_interface.name) {
    g.xdgOutputs =
        bind<zxdg_output_manager_v1>(registry, name, zxdg_output_manager_v1_interface, version, 2);
    for (auto& output : g.outputs) g.describe(*output);
  } else if (is == zwp_virtual_keyboard_manager_v1_interface.name) {
    g.keyboards = bind<zwp_virtual_keyboard_manager_v1>(
        registry, name, zwp_virtual_keyboard_manager_v1_interface, version, 1);
  } else if (is == zwlr_virtual_pointer_manager_v1_interface.name) {
    g.pointers = bind<zwlr_virtual_pointer_manager_v1>(
        registry, name, zwlr_virtual_pointer_manager_v1_interface, version, 1);
  }
}

void globalRemove(void* data, wl_registry*, std::uint32_t name) {
  auto& outputs = static_cast<WaylandLink::Globals*>(data)->outputs;
  std::erase_if(outputs, [name](const std::unique_ptr<Output>& output) {
    if (output->name != name) return false;
    if (output->xdg != nullptr) zxdg_output_v1_destroy(output->xdg);
    wl_output_destroy(output->output);
    return true;
  });
}

const wl_registry_listener kRegistryListener = {global, globalRemove};

void syncDone(void* data, wl_callback* callback, std::uint32_t) {
  *static_cast<bool*>(data) = true;
  wl_callback_destroy(callback);
}
const wl_callback_listener kSyncListener = {syncDone};

// The client library writes its complaints (a protocol error, a lost compositor) to standard
// error, which the service keeps silent: the link sees them as a broken connection instead.
void silent(const char*, std::va_list) {}

}  // namespace

void WaylandLink::Globals::describe(Output& output) {
  if (xdgOutputs == nullptr || output.xdg != nullptr) return;
  output.xdg = zxdg_output_manager_v1_get_xdg_output(xdgOutputs, output.output);
  zxdg_output_v1_add_listener(output.xdg, &kXdgOutputListener, &output);
}

WaylandLink::Globals::~Globals() {
  if (display == nullptr) return;
  if (pointer != nullptr) zwlr_virtual_pointer_v1_destroy(pointer);
  if (keyboard != nullptr) zwp_virtual_keyboard_v1_destroy(keyboard);
  for (auto& output : outputs) {
    if (output->xdg != nullptr) zxdg_output_v1_destroy(output->xdg);
    wl_output_destroy(output->output);
  }
  if (pointers != nullptr) zwlr_virtual_pointer_manager_v1_destroy(pointers);
  if (keyboards != nullptr) zwp_virtual_keyboard_manager_v1_destroy(keyboards);
  if (xdgOutputs != nullptr) zxdg_output_manager_v1_destroy(xdgOutputs);
  if (seat != nullptr) wl_seat_destroy(seat);
  if (registry != nullptr) wl_registry_destroy(registry);
  wl_display_flush(display);
  wl_display_disconnect(display);
}

WaylandLink::WaylandLink() : globals_(std::make_unique<Globals>()) {}

WaylandLink::~WaylandLink() = default;

std::unique_ptr<WaylandLink> WaylandLink::connect(const std::string& display,
                                                  const std::string& keymap,
                                                  std::chrono::milliseconds wait) {
  if (display.empty()) return nullptr;
  wl_log_set_handler_client(silent);
  const auto deadline = Clock::now() + wait;
  std::unique_ptr<WaylandLink> link(new WaylandLink());
  link->globals_->display = wl_display_connect(display.c_str());
  if (link->globals_->display == nullptr || !link->setUp(keymap, deadline)) return nullptr;
  return link;
}

bool WaylandLink::setUp(const std::string& keymap, Clock::time_point deadline) {
  Globals& g = *globals_;
  g.registry = wl_display_get_registry(g.display);
  wl_registry_add_listener(g.registry, &kRegistryListener, &g);
  if (!roundtrip(deadline)) return false;
  if (g.seat == nullptr || g.keyboards == nullptr || g.pointers == nullptr) return false;
  g.keyboard = zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(g.keyboards, g.seat);
  g.pointer = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(g.pointers, g.seat);
  // Both the outputs' places and a refusal of the new devices arrive with this round trip.
  return sendKeymap(keymap) && roundtrip(deadline);
}

bool WaylandLink::sendKeymap(const std::string& keymap) {
  const int fd = ::memfd_create("virelo-keymap", MFD_CLOEXEC);
  if (fd < 0) return false;
  // The text and its terminating null, as a keymap is read.
  const std::size_t size = keymap.size() + 1;
  std::size_t written = 0;
  while (written < size) {
    const ssize_t n = ::write(fd, keymap.c_str() + written, size - written);
    if (n <= 0) {
      ::close(fd);
      return false;
    }
    written += static_cast<std::size_t>(n);
  }
  zwp_virtual_keyboard_v1_keymap(globals_->keyboard, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd,
                                 static_cast<std::uint32_t>(size));
  ::close(fd);  // the request carries a copy of the descriptor
  return true;
}

bool WaylandLink::roundtrip(Clock::time_point deadline) {
  bool done = false;
  wl_callback* callback = wl_display_sync(globals_->display);
  wl_callback_add_listener(callback, &kSyncListener, &done);
  while (!done) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0 || !readEvents(left)) {
      // Never called back once destroyed, so that `done` may go out of scope.
      if (!done) wl_callback_destroy(callback);
      return false;
    }
  }
  return true;
}

bool WaylandLink::readEvents(std::chrono::milliseconds timeout) {
  wl_display* display = globals_->display;
  while (wl_display_prepare_read(display) != 0) {
    if (wl_display_dispatch_pending(display) < 0) return false;
  }
  if (wl_display_flush(display) < 0 && errno != EAGAIN) {
    wl_display_cancel_read(display);
    return false;
  }
  pollfd descriptor{wl_display_get_fd(display), POLLIN, 0};
  const int ready = ::poll(&descriptor, 1, static_cast<int>(timeout.count()));
  if (ready <= 0) {
    wl_display_cancel_read(display);
    return ready == 0 || errno == EINTR;
  }
  if (wl_display_read_events(display) < 0) return false;
  return wl_display_dispatch_pending(display) >= 0;
}

bool WaylandLink::alive() {
  return wl_display_get_error(globals_->display) == 0;
}

std::uint32_t WaylandLink::now() const {
  return static_cast<std::uint32_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - epoch_).count());
}

void WaylandLink::flush() {
  wl_display_flush(globals_->display);
}

void WaylandLink::key(std::uint32_t evdev, bool press) {
  zwp_virtual_keyboard_v1_key(
      globals_->keyboard, now(), evdev,
      press ? WL_KEYBOARD_KEY_STATE_PRESSED : WL_KEYBOARD_KEY_STATE_RELEASED);
  flush();
}

void WaylandLink::modifiers(const Modifiers& m) {
  zwp_virtual_keyboard_v1_modifiers(globals_->keyboard, m.depressed, m.latched, m.locked, m.group);
  flush();
}

void WaylandLink::moveTo(Point point) {
  // The pointer's absolute motion spans the bounding box of the outputs.
  if (globals_->outputs.empty()) return;
  double left = INFINITY, top = INFINITY, right = -INFINITY, bottom = -INFINITY;
  for (const auto& output : globals_->outputs) {
    const Rect& r = output->place.logical;
    left = std::min(left, r.minX());
    top = std::min(top, r.minY());
    right = std::max(right, r.maxX());
    bottom = std::max(bottom, r.maxY());
  }
  const auto width = static_cast<std::uint32_t>(std::lround(right - left));
  const auto height = static_cast<std::uint32_t>(std::lround(bottom - top));
  if (width == 0 || height == 0) return;
  auto along = [](double value, double origin, std::uint32_t extent) {
    return static_cast<std::uint32_t>(
        std::clamp<long>(std::lround(value - origin), 0, static_cast<long>(extent) - 1));
  };
  zwlr_virtual_pointer_v1_motion_absolute(globals_->pointer, now(), along(point.x, left, width),
                                          along(point.y, top, height), width, height);
  zwlr_virtual_pointer_v1_frame(globals_->pointer);
  flush();
}

void WaylandLink::button(std::uint32_t evdevButton, bool press) {
  zwlr_virtual_pointer_v1_button(
      globals_->pointer, now(), evdevButton,
      press ? WL_POINTER_BUTTON_STATE_PRESSED : WL_POINTER_BUTTON_STATE_RELEASED);
  zwlr_virtual_pointer_v1_frame(globals_->pointer);
  flush();
}

void WaylandLink::scroll(std::int32_t clicks) {
  // Wayland's vertical axis grows downwards.
  const std::int32_t steps = -clicks;
  zwlr_virtual_pointer_v1_axis_source(globals_->pointer, WL_POINTER_AXIS_SOURCE_WHEEL);
  zwlr_virtual_pointer_v1_axis_discrete(globals_->pointer, now(), WL_POINTER_AXIS_VERTICAL_SCROLL,
                                        wl_fixed_from_double(steps * kClickLength), steps);
  zwlr_virtual_pointer_v1_frame(globals_->pointer);
  flush();
}

std::vector<OutputPlace> WaylandLink::outputs() {
  readEvents(std::chrono::milliseconds(0));
  std::vector<OutputPlace> places;
  for (const auto& output : globals_->outputs) places.push_back(output->place);
  return places;
}

}  // namespace virelo::wlroots
