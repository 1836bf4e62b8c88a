#include "platform/kde/kde_fake_input.h"

#include <poll.h>
#include <wayland-client.h>

#include <cerrno>
#include <cstdarg>
#include <cstring>

#include "platform/kde/fake_input_client.h"

namespace virelo::kde {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::uint32_t kFakeInputVersion = 4;
constexpr std::uint32_t kOutputVersion = 2;

struct Output {
  wl_output* proxy = nullptr;
  Point origin;
  Size mode;
  std::int32_t scale = 1;
};

}  // namespace

struct FakeInput::State {
  wl_display* display = nullptr;
  wl_registry* registry = nullptr;
  org_kde_kwin_fake_input* input = nullptr;
  std::vector<std::unique_ptr<Output>> outputs;

  ~State() {
    for (auto& output : outputs) wl_output_destroy(output->proxy);
    if (input != nullptr) org_kde_kwin_fake_input_destroy(input);
    if (registry != nullptr) wl_registry_destroy(registry);
    if (display != nullptr) wl_display_disconnect(display);
  }

  // Reads and dispatches events until `done` or the deadline; false when the connection broke or
  // the compositor did not answer in time.
  bool dispatchUntil(const bool& done, Clock::time_point deadline);
  bool roundtrip(Clock::time_point deadline);
};

namespace {

void outputGeometry(void* data, wl_output*, std::int32_t x, std::int32_t y, std::int32_t,
                    std::int32_t, std::int32_t, const char*, const char*, std::int32_t) {
  static_cast<Output*>(data)->origin = {static_cast<double>(x), static_cast<double>(y)};
}

void outputMode(void* data, wl_output*, std::uint32_t flags, std::int32_t width,
                std::int32_t height, std::int32_t) {
  if ((flags & WL_OUTPUT_MODE_CURRENT) != 0) {
    static_cast<Output*>(data)->mode = {static_cast<double>(width), static_cast<double>(height)};
  }
}

void outputDone(void*, wl_output*) {}

void outputScale(void* data, wl_output*, std::int32_t factor) {
  static_cast<Output*>(data)->scale = factor > 0 ? factor : 1;
}

void outputText(void*, wl_output*, const char*) {}

const wl_output_listener kOutputListener = {outputGeometry, outputMode, outputDone,
                                            outputScale,    outputText, outputText};

void global(void* data, wl_registry* registry, std::uint32_t name, const char* interface,
            std::uint32_t version) {
  auto* state = static_cast<FakeInput::State*>(data);
  if (std::strcmp(interface, org_kde_kwin_fake_input_interface.name) == 0 &&
      version >= kFakeInputVersion && state->input == nullptr) {
    state->input = static_cast<org_kde_kwin_fake_input*>(
        wl_registry_bind(registry, name, &org_kde_kwin_fake_input_interface, kFakeInputVersion));
  } else if (std::strcmp(interface, wl_output_interface.name) == 0 && version >= kOutputVersion) {
    auto output = std::make_unique<Output>();
    output->proxy = static_cast<wl_output*>(
        wl_registry_bind(registry, name, &wl_output_interface, kOutputVersion));
    wl_output_add_listener(output->proxy, &kOutputListener, output.get());
    state->outputs.push_back(std::move(output));
  }
}

void globalRemove(void*, wl_registry*, std::uint32_t) {}

const wl_registry_listener kRegistryListener = {global, globalRemove};

// libwayland writes its complaints (a protocol error, a lost connection) to standard error, which
// the service keeps for nothing: a broken connection is seen by its calls' results.
void silent(const char*, va_list) {}

void syncDone(void* data, wl_callback*, std::uint32_t) {
  *static_cast<bool*>(data) = true;
}

const wl_callback_listener kSyncListener = {syncDone};

}  // namespace

bool FakeInput::State::dispatchUntil(const bool& done, Clock::time_point deadline) {
  while (!done) {
    if (wl_display_dispatch_pending(display) < 0) return false;
    if (done) break;
    while (wl_display_prepare_read(display) != 0) {
      if (wl_display_dispatch_pending(display) < 0) return false;
    }
    if (wl_display_flush(display) < 0 && errno != EAGAIN) {
      wl_display_cancel_read(display);
      return false;
    }
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    pollfd fd{wl_display_get_fd(display), POLLIN, 0};
    if (left.count() <= 0 || ::poll(&fd, 1, static_cast<int>(left.count())) <= 0) {
      wl_display_cancel_read(display);
      return false;
    }
    if (wl_display_read_events(display) < 0) return false;
  }
  return wl_display_get_error(display) == 0;
}

bool FakeInput::State::roundtrip(Clock::time_point deadline) {
  bool done = false;
  wl_callback* callback = wl_display_sync(display);
  wl_callback_add_listener(callback, &kSyncListener, &done);
  const bool answered = dispatchUntil(done, deadline);
  wl_callback_destroy(callback);
  return answered;
}

std::unique_ptr<FakeInput> FakeInput::open(const std::string& display) {
  const auto deadline = Clock::now() + kOpenWait;
  wl_log_set_handler_client(silent);
  auto state = std::make_unique<State>();
  state->display = wl_display_connect(display.empty() ? nullptr : display.c_str());
  if (state->display == nullptr) return nullptr;
  state->registry = wl_display_get_registry(state->display);
  wl_registry_add_listener(state->registry, &kRegistryListener, state.get());
  // The globals, then the outputs' first description.
  if (!state->roundtrip(deadline) || state->input == nullptr || !state->roundtrip(deadline)) {
    return nullptr;
  }
  org_kde_kwin_fake_input_authenticate(state->input, "Virelo",
                                       "types and points for the programs that ask it to");
  if (!state->roundtrip(deadline)) return nullptr;
  return std::unique_ptr<FakeInput>(new FakeInput(std::move(state)));
}

FakeInput::FakeInput(std::unique_ptr<State> state) : state_(std::move(state)) {}

FakeInput::~FakeInput() = default;

void FakeInput::key(std::uint16_t code, bool pressed) {
  org_kde_kwin_fake_input_keyboard_key(state_->input, code, pressed ? 1 : 0);
}

void FakeInput::button(std::uint16_t code, bool pressed) {
  org_kde_kwin_fake_input_button(
      state_->input, code,
      pressed ? WL_POINTER_BUTTON_STATE_PRESSED : WL_POINTER_BUTTON_STATE_RELEASED);
}

void FakeInput::moveTo(Point place) {
  org_kde_kwin_fake_input_pointer_motion_absolute(state_->input, wl_fixed_from_double(place.x),
                                                  wl_fixed_from_double(place.y));
}

void FakeInput::scroll(double value) {
  org_kde_kwin_fake_input_axis(state_->input, WL_POINTER_AXIS_VERTICAL_SCROLL,
                               wl_fixed_from_double(value));
}

bool FakeInput::flush() {
  // A full socket buffer (EAGAIN) keeps the rest for the next flush.
  return wl_display_flush(state_->display) >= 0 || errno == EAGAIN;
}

bool FakeInput::alive() {
  wl_display* display = state_->display;
  if (wl_display_dispatch_pending(display) < 0) return false;
  if (wl_display_prepare_read(display) == 0) {
    pollfd fd{wl_display_get_fd(display), POLLIN, 0};
    if (::poll(&fd, 1, 0) > 0) {
      if (wl_display_read_events(display) < 0) return false;
    } else {
      wl_display_cancel_read(display);
    }
  }
  return wl_display_dispatch_pending(display) >= 0 && flush();
}

std::vector<Rect> FakeInput::outputs() const {
  std::vector<Rect> rects;
  for (const auto& output : state_->outputs) {
    if (output->mode.width <= 0 || output->mode.height <= 0) continue;
    rects.push_back({output->origin,
                     {output->mode.width / output->scale, output->mode.height / output->scale}});
  }
  return rects;
}

}  // namespace virelo::kde
