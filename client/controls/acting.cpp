// Acting on a control: choosing the one a query names, clicking it or having it do its action,
// focusing it, reading its text, waiting for it.
#include <algorithm>
#include <cstdio>
#include <thread>

#include "message_text.h"
#include "same_control.h"
#include "session_search.h"
#include "virelo/client/client.h"
#include "virelo/client/controls.h"
#include "virelo/client/x11.h"

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

// Farther than any desk is wide or high: moves by it end on the desk's edge.
constexpr int kBeyondTheDesk = 16384;
constexpr int kMaxMove = 127;
// Where the pointer is sent first under a compositor: onto the desk's top edge, this far from its
// left one; never into the top-left corner, where gnome-shell's hot corner (its barriers line the
// first 32 points of either edge, its top bar's height) opens the activities overview when the
// pointer presses into it.
constexpr int kClearOfTheCorner = 64;

void pushAgainstEdge(Client& client, int dx, int dy) {
  for (int i = 0; i <= kBeyondTheDesk / kMaxMove; ++i) client.move(dx, dy);
}

// Under a Wayland compositor, which tells no client where the pointer is: down by a step, against
// the desk's left edge, right by the step and up against its top edge, so that it passes below and
// right of the corner and ends at a known point; then by relative moves onto the target, with a
// last step to and fro over it (a toolkit tells a widget that the pointer came in from a motion
// over it).
void moveFromCorner(Client& client, PointerPosition target) {
  client.move(0, kClearOfTheCorner);
  pushAgainstEdge(client, -kMaxMove, 0);
  client.move(kClearOfTheCorner, 0);
  pushAgainstEdge(client, 0, -kMaxMove);
  PointerPosition at{kClearOfTheCorner, 0};
  while (at.x != target.x || at.y != target.y) {
    const int dx = std::clamp(target.x - at.x, -kMaxMove, kMaxMove);
    const int dy = std::clamp(target.y - at.y, -kMaxMove, kMaxMove);
    client.move(dx, dy);
    at = {at.x + dx, at.y + dy};
  }
  client.move(1, 0);
  client.move(-1, 0);
}

void movePointer(Client& client, const Desktop& desktop, PointerPosition target) {
  if (desktop.onCompositor()) {
    moveFromCorner(client, target);
  } else {
    moveTo(client, desktop.display().c_str(), target);
  }
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

// The one control of those found at the query's place, as oneControl() chooses it.
Control theOne(FoundControls found, const ControlQuery& query, bool first) {
  if (found.controls.empty()) {
    throw NoSuchControl("no control matches: " + query.describe() +
                        unansweringNote(found.unanswering));
  }
  if (found.controls.size() > 1 && !first) {
    std::vector<std::string> candidates;
    for (const auto& control : found.controls) candidates.push_back(control.describe());
    std::string message = std::to_string(candidates.size()) + " controls match " +
                          query.describe() + " (--first takes the first in reading order):";
    for (const auto& line : candidates) message += "\n  " + line;
    throw AmbiguousControl(message, std::move(candidates));
  }
  return std::move(found.controls.front());
}

}  // namespace

Control oneControl(Desktop& desktop, const ControlQuery& query, bool first) {
  ControlQuery showing = query;
  showing.all = false;
  return theOne(desktop.showing(showing), query, first);
}

Control chooseControl(Desktop& desktop, const ControlQuery& query, bool first) {
  Control chosen = oneControl(desktop, query, first);
  const std::string what = controlWords(chosen);
  if (!chosen.enabled) throw ControlNotActionable("the " + what + " is disabled");
  if (!chosen.placed) {
    throw ControlNotActionable("the " + what +
                               " cannot be placed on the screen: " + desktop.unplacedReason() +
                               " (--action presses it without the pointer)");
  }
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

// Desktop's friend, for the session's press.
struct Acting {
  static Clicked act(Desktop& desktop, const ControlQuery& query, bool first,
                     const std::optional<std::string>& action, int times);
};

Clicked Acting::act(Desktop& desktop, const ControlQuery& query, bool first,
                    const std::optional<std::string>& action, int times) {
  const auto disabled = [](const Control& control) {
    return ControlNotActionable("the " + controlWords(control) + " is disabled");
  };
  if (desktop.session_) {
    ControlQuery showing = query;
    showing.all = false;
    if (auto press = desktop.session_->press(showing, first, action, times)) {
      Control control = theOne(std::move(press->found), query, first);
      if (!control.enabled) throw disabled(control);
      if (press->unpressed) throw ControlNotActionable(*press->unpressed);
      if (press->pressed) return Clicked{std::move(control), ClickBy::action, *press->pressed};
      // A session that presses nothing leaves the press to this process.
    }
  }
  // The action is this process's: so is the search that names the control for it.
  desktop.searchInProcess();
  Control control = oneControl(desktop, query, first);
  if (!control.enabled) throw disabled(control);
  std::string done;
  for (int i = 0; i < times; ++i) done = desktop.act(control, action);
  return Clicked{std::move(control), ClickBy::action, std::move(done)};
}

Clicked actOn(Desktop& desktop, const ControlQuery& query, bool first,
              const std::optional<std::string>& action) {
  return Acting::act(desktop, query, first, action, 1);
}

Clicked clickOn(Client& client, Desktop& desktop, const ControlQuery& query,
                const ClickOptions& options) {
  if (options.by == ClickBy::action) {
    return Acting::act(desktop, query, options.first, options.action, options.twice ? 2 : 1);
  }
  Control control = chooseControl(desktop, query, options.first);
  movePointer(client, desktop, control.centre());
  click(client, options.button);
  if (options.twice) click(client, options.button);
  return Clicked{std::move(control), ClickBy::pointer, {}};
}

std::string readText(Desktop& desktop, const ControlQuery& query, bool first) {
  Control control = oneControl(desktop, query, first);
  if (!control.text) throw NoSuchControl("the " + controlWords(control) + " has no text");
  return std::move(*control.text);
}

Control focusOn(Client& client, Desktop& desktop, const ControlQuery& query, bool first,
                std::chrono::milliseconds timeout) {
  Control control = chooseControl(desktop, query, first);
  const std::string what = controlWords(control);
  if (!control.focusable) throw ControlNotActionable("the " + what + " cannot take the focus");
  if (control.focused) return control;
  movePointer(client, desktop, control.centre());
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
                               std::chrono::milliseconds interval,
                               const std::function<void()>& interrupted) {
  constexpr auto kSlice = std::chrono::milliseconds(20);  // how long a pause goes unchecked
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    FoundControls found = desktop.find(query);
    if (!gone && !found.controls.empty()) return found.controls.front();
    if (gone && found.controls.empty() && found.unanswering.empty()) return std::nullopt;
    const auto now = Clock::now();
    if (now >= deadline) throw WaitTimedOut(timedOut(query, gone, timeout, found));
    const auto next = std::min<Clock::time_point>(now + interval, deadline);
    for (auto at = now; at < next; at = Clock::now()) {
      if (interrupted) interrupted();
      std::this_thread::sleep_for(std::min<Clock::duration>(next - at, kSlice));
    }
  }
}

}  // namespace virelo::client
