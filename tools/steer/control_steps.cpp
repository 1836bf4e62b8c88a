#include "tools/steer/control_steps.h"

#include <cstdlib>
#include <iostream>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "tools/steer/control_order.h"
#include "virelo/client/controls.h"

namespace virelo::steer {
namespace {

// The controls a person steps through: what takes the focus or is clicked, and is enabled. The
// windows, panels, fillers and labels around them are not.
bool steppable(const client::Control& c) {
  static const std::set<std::string> clickable = {
      "push button",     "toggle button", "check box",
      "radio button",    "menu item",     "check menu item",
      "radio menu item", "menu",          "link",
      "combo box",       "text",          "spin button",
      "slider",          "page tab"};
  return c.enabled && c.stacking == 0 && c.width > 0 && c.height > 0 &&
         (c.focusable || clickable.contains(c.role));
}

struct Stepper {
  client::Client& client;
  std::optional<client::Desktop> desktop;
  bool complained = false;

  void step(bool forward) {
    if (!desktop) desktop.emplace(client::EnvironmentLookup(std::getenv));
    std::vector<Box> boxes;
    for (const client::Control& c : desktop->find(client::ControlQuery{}).controls) {
      if (steppable(c)) boxes.push_back({c.x, c.y, c.width, c.height});
    }
    const std::vector<Box> ordered = inReadingOrder(std::move(boxes));
    const std::string& display = desktop->display();
    const auto at = client::pointerPosition(display.c_str());
    if (!at) return;
    const auto index = neighbour(ordered, at->x, at->y, forward);
    if (!index) return;
    const Box& target = ordered[*index];
    client::moveTo(client, display.c_str(), {target.centreX(), target.centreY()});
  }
};

}  // namespace

std::function<void(bool forward)> controlStepper(client::Client& client) {
  auto stepper = std::make_shared<Stepper>(Stepper{client, std::nullopt, false});
  return [stepper](bool forward) {
    try {
      stepper->step(forward);
    } catch (const client::ConnectionLost&) {
      throw;
    } catch (const client::ServiceNotReady&) {
      throw;
    } catch (const std::exception& e) {
      if (!stepper->complained)
        std::cerr << "virelo steer: no control to step to: " << e.what() << "\n";
      stepper->complained = true;
    }
  };
}

}  // namespace virelo::steer
