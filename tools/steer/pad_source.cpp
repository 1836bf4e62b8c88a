#include "tools/steer/pad_source.h"

#include <SDL.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace virelo::steer {
namespace {

// SDL's game controllers without a window: no signal handlers of its own (the client's decide
// what a signal does), events also while no window of this process has the focus.
void initialiseSdl() {
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
  if (SDL_Init(SDL_INIT_GAMECONTROLLER) != 0) {
    throw std::runtime_error(std::string("game controllers unavailable: ") + SDL_GetError());
  }
  if (const char* file = std::getenv("SDL_GAMECONTROLLERCONFIG_FILE"); file && *file) {
    if (SDL_GameControllerAddMappingsFromFile(file) < 0) {
      std::cerr << "virelo steer: the mappings of SDL_GAMECONTROLLERCONFIG_FILE " << file
                << " were not read: " << SDL_GetError() << "\n";
    }
  }
}

double axis(SDL_GameController* c, SDL_GameControllerAxis a) {
  return std::clamp(SDL_GameControllerGetAxis(c, a) / 32767.0, -1.0, 1.0);
}

}  // namespace

PadSource::PadSource(const std::string& virtualPad) {
  if (!virtualPad.empty()) {
    feedFd_ = ::open(virtualPad.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (feedFd_ < 0) {
      throw std::runtime_error("cannot open the virtual controller's file " + virtualPad + ": " +
                               std::strerror(errno));
    }
  }
  initialiseSdl();
}

PadSource::~PadSource() {
  if (controller_ != nullptr) SDL_GameControllerClose(controller_);
  if (virtual_ != nullptr) SDL_JoystickClose(virtual_);
  SDL_Quit();
  if (feedFd_ >= 0) ::close(feedFd_);
}

void PadSource::openAny() {
  for (int i = 0; controller_ == nullptr && i < SDL_NumJoysticks(); ++i) {
    if (!SDL_IsGameController(i)) continue;
    controller_ = SDL_GameControllerOpen(i);
    if (controller_ != nullptr) {
      instance_ = SDL_JoystickInstanceID(SDL_GameControllerGetJoystick(controller_));
    }
  }
}

void PadSource::pumpEvents() {
  SDL_Event event;
  while (SDL_PollEvent(&event)) {
    if (event.type == SDL_CONTROLLERBUTTONDOWN && event.cbutton.which == instance_ &&
        event.cbutton.button < tapped_.size()) {
      tapped_.set(event.cbutton.button);
    }
    if (event.type == SDL_CONTROLLERDEVICEREMOVED && event.cdevice.which == instance_) {
      SDL_GameControllerClose(controller_);
      controller_ = nullptr;
      instance_ = -1;
    }
  }
  openAny();
}

Frame PadSource::read() {
  pumpEvents();
  feedVirtual();
  Frame frame;
  if (controller_ == nullptr) return frame;
  frame.present = true;
  const char* name = SDL_GameControllerName(controller_);
  frame.device = name != nullptr ? name : "";
  PadState& pad = frame.pad;
  pad.left = {axis(controller_, SDL_CONTROLLER_AXIS_LEFTX),
              axis(controller_, SDL_CONTROLLER_AXIS_LEFTY)};
  pad.right = {axis(controller_, SDL_CONTROLLER_AXIS_RIGHTX),
               axis(controller_, SDL_CONTROLLER_AXIS_RIGHTY)};
  pad.leftTrigger = axis(controller_, SDL_CONTROLLER_AXIS_TRIGGERLEFT);
  pad.rightTrigger = axis(controller_, SDL_CONTROLLER_AXIS_TRIGGERRIGHT);
  for (std::size_t b = 0; b < static_cast<std::size_t>(PadButton::count); ++b) {
    pad.buttons.set(
        b, SDL_GameControllerGetButton(controller_, static_cast<SDL_GameControllerButton>(b)) != 0);
  }
  // A button pressed and let go again since the last read shows as held in this frame once; when
  // the last frame already showed it held, this one shows it let go and the next one held again,
  // so that every press is a press.
  const auto again = tapped_ & reported_ & ~pad.buttons;
  pad.buttons |= tapped_ & ~again;
  tapped_ = again;
  reported_ = pad.buttons;
  return frame;
}

void PadSource::feedVirtual() {
  if (feedFd_ < 0) return;
  char buffer[4096];
  ssize_t got = 0;
  while ((got = ::read(feedFd_, buffer, sizeof buffer)) > 0) {
    feedBuffer_.append(buffer, static_cast<std::size_t>(got));
  }
  for (auto end = feedBuffer_.find('\n'); end != std::string::npos; end = feedBuffer_.find('\n')) {
    applyLine(feedBuffer_.substr(0, end));
    feedBuffer_.erase(0, end + 1);
    // Each line's change becomes SDL's events before the next line changes it again.
    SDL_JoystickUpdate();
    pumpEvents();
  }
}

void PadSource::applyLine(const std::string& line) {
  std::istringstream words(line);
  std::string verb, name;
  double value = 0;
  words >> verb;
  if (verb == "attach" && virtual_ == nullptr) {
    std::getline(words >> std::ws, name);
    SDL_VirtualJoystickDesc desc{};
    desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
    desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
    desc.naxes = SDL_CONTROLLER_AXIS_MAX;
    desc.nbuttons = SDL_CONTROLLER_BUTTON_MAX;
    desc.name = name.empty() ? "Virtual pad" : name.c_str();
    const int index = SDL_JoystickAttachVirtualEx(&desc);
    if (index >= 0) virtual_ = SDL_JoystickOpen(index);
  } else if (verb == "detach" && virtual_ != nullptr) {
    const SDL_JoystickID id = SDL_JoystickInstanceID(virtual_);
    SDL_JoystickClose(virtual_);
    virtual_ = nullptr;
    for (int i = 0; i < SDL_NumJoysticks(); ++i) {
      if (SDL_JoystickGetDeviceInstanceID(i) == id) SDL_JoystickDetachVirtual(i);
    }
  } else if (verb == "axis" && virtual_ != nullptr && words >> name >> value) {
    const SDL_GameControllerAxis a = SDL_GameControllerGetAxisFromString(name.c_str());
    if (a == SDL_CONTROLLER_AXIS_INVALID) return void(++ignored_);
    // A trigger's axis rests at its least value, as SDL's controller mappings expect.
    const bool trigger =
        a == SDL_CONTROLLER_AXIS_TRIGGERLEFT || a == SDL_CONTROLLER_AXIS_TRIGGERRIGHT;
    const double raw = trigger ? -32768 + std::clamp(value, 0.0, 1.0) * 65535
                               : std::clamp(value, -1.0, 1.0) * 32767;
    SDL_JoystickSetVirtualAxis(virtual_, a, static_cast<Sint16>(raw));
  } else if (verb == "button" && virtual_ != nullptr && words >> name >> value) {
    const SDL_GameControllerButton b = SDL_GameControllerGetButtonFromString(name.c_str());
    if (b == SDL_CONTROLLER_BUTTON_INVALID) return void(++ignored_);
    SDL_JoystickSetVirtualButton(virtual_, b, value != 0 ? 1 : 0);
  } else {
    ++ignored_;
  }
}

std::vector<std::string> controllersSeen() {
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  std::vector<std::string> names;
  if (SDL_Init(SDL_INIT_GAMECONTROLLER) != 0) return names;
  for (int i = 0; i < SDL_NumJoysticks(); ++i) {
    if (!SDL_IsGameController(i)) continue;
    const char* name = SDL_GameControllerNameForIndex(i);
    names.emplace_back(name != nullptr ? name : "(unnamed)");
  }
  SDL_Quit();
  return names;
}

}  // namespace virelo::steer
