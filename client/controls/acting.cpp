// Acting on a control: choosing the one a query names, clicking it, focusing it, waiting for it.
#include <algorithm>
#include <cstdio>
#include <limits>
#include <thread>

#include "message_text.h"
#include "virelo/client/client.h"
#include "virelo/client/controls.h"

namespace virelo::client {
namespace {

using Clock = std::chrono::steady_clock;

// How often focusOn() looks whether the control has the focus.
constexpr std::chrono::milliseconds kFocusPoll{50};

std::string unansweringNote(const std::vector<std::string>& unanswering) {
  if (unanswering.empty()) return {};
  std::string note = " (skipped, not answering: ";
  for (std::size_t i = 0; i < unanswering.size(); ++i) {
    note += (i > 0 ? ", " : "") + escapedText(unanswering[i]);
  }
  return note + ")";
}

// Front-most window first; controls of one window in the order of its tree.
void frontToBack(std::vector<Control>& controls) {
  auto rank = [](const Control& c) {
    return c.stacking < 0 ? std::numeric_limits<int>::max() : c.stacking;
  };
  std::stable_sort(controls.begin(), controls.end(),
                   [&](const Control& a, const Control& b) { return rank(a) < rank(b); });
}

void click(Client& client, int button) {
  client.pressButtons(button);
  client.releaseButtons(button);
}

// Why waitFor() gave up.
std::string timedOut(const ControlQuery& query, bool gone, std::chrono::milliseconds timeout,
                     const FoundControls& found) {
  char limit[32];
  std::snprintf(limit, sizeof limit, "%g s", std::chrono::duration<double>(timeout).count());
  if (gone && found.controls.empty()) {
    std::string names;
    for (const auto& name : found.unanswering) {
      names += (names.empty() ? "" : ", ") + escapedText(name);
    }
    return "cannot tell after " + std::string(limit) + " whether it is gone: " + names +
           " did not answer, and may still show " + query.describe();
  }
  return (gone ? "still on the screen after " : "not on the screen after ") + std::string(limit) +
         ": " + query.describe() + unansweringNote(found.unanswering);
}

bool sameControl(const Control& a, const Control& b) {
  return a.pid == b.pid && a.role == b.role && a.name == b.name && a.x == b.x && a.y == b.y &&
         a.width == b.width && a.height == b.height;
}

}  // namespace

Control chooseControl(Desktop& desktop, const ControlQuery& query, bool first) {
  ControlQuery showing = query;
  showing.all = false;
  FoundControls found = desktop.showing(showing);
  if (found.controls.empty()) {
    throw NoSuchControl("no control matches: " + query.describe() +
                        unansweringNote(found.unanswering));
  }
  frontToBack(found.controls);
  if (found.controls.size() > 1 && !first) {
    std::vector<std::string> candidates;
    for (const auto& control : found.controls) candidates.push_back(control.describe());
    std::string message = std::to_string(candidates.size()) + " controls match " +
                          query.describe() + " (--first takes the front-most):";
    for (const auto& line : candidates) message += "\n  " + line;
    throw AmbiguousControl(message, std::move(candidates));
  }
  const Control& chosen = found.controls.front();
  const std::string what = controlWords(chosen);
  if (!chosen.enabled) throw ControlNotActionable("the " + what + " is disabled");
  if (!chosen.visible) throw ControlNotActionable("the " + what + " is not visible");
  if (chosen.offScreen) {
    const PointerPosition centre = chosen.centre();
    throw ControlNotActionable("the " + what + " lies off the screen (its centre at " +
                               std::to_string(centre.x) + "," + std::to_string(centre.y) + ")");
  }
  if (chosen.covered) {
    throw ControlNotActionable("the " + what + " is covered by another window");
  }
  return chosen;
}

Control clickOn(Client& client, Desktop& desktop, const ControlQuery& query,
                const ClickOptions& options) {
  Control control = chooseControl(desktop, query, options.first);
  moveTo(client, desktop.display().c_str(), control.centre());
  click(client, options.button);
  if (options.twice) click(client, options.button);
  return control;
}

Control focusOn(Client& client, Desktop& desktop, const ControlQuery& query, bool first,
                std::chrono::milliseconds timeout) {
  Control control = chooseControl(desktop, query, first);
  const std::string what = controlWords(control);
  if (!control.focusable) throw ControlNotActionable("the " + what + " cannot take the focus");
  if (control.focused) return control;
  moveTo(client, desktop.display().c_str(), control.centre());
  click(client, button::primary);
  ControlQuery again = query;
  again.all = false;
  for (const auto deadline = Clock::now() + timeout; Clock::now() < deadline;) {
    for (const auto& now : desktop.showing(again).controls) {
      if (sameControl(now, control) && now.focused) return now;
    }
    std::this_thread::sleep_for(kFocusPoll);
  }
  throw ControlNotActionable("clicked the " + what + ", but it did not take the focus");
}

// An application that did not answer may still show the control: it is gone only when none
// matches and every application answered.
std::optional<Control> waitFor(Desktop& desktop, const ControlQuery& query, bool gone,
                               std::chrono::milliseconds timeout,
                               std::chrono::milliseconds interval) {
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    FoundControls found = desktop.find(query);
    if (!gone && !found.controls.empty()) {
      frontToBack(found.controls);
      return found.controls.front();
    }
    if (gone && found.controls.empty() && found.unanswering.empty()) return std::nullopt;
    const auto now = Clock::now();
    if (now >= deadline) throw WaitTimedOut(timedOut(query, gone, timeout, found));
    std::this_thread::sleep_for(std::min<Clock::duration>(interval, deadline - now));
  }
}

}  // namespace virelo::client
