// The inside of the simulated accessibility: the world's applications, elements, windows and
// displays under one mutex, and the readers of their world descriptions. The header comment of
// sim_accessibility.h gives the behaviour and the thread rules; sim_accessibility_world.cpp holds
// the readers and the state, sim_accessibility_control.cpp the world keys and control requests.
#pragma once

#include <chrono>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/sim/sim_accessibility.h"

namespace virelo::sim {
namespace ax {

using nlohmann::json;

// The platform's messaging timeout until one is set.
inline constexpr float kDefaultTimeout = 6.0f;
inline constexpr int kMaxDepth = 64;

struct SimElement final : AccessibilityElement {
  explicit SimElement(std::string id) : id(std::move(id)) {}
  std::string id;
};

inline ElementRef handle(std::string id) {
  return std::make_shared<SimElement>(std::move(id));
}

inline std::string appID(std::int32_t pid) {
  std::string id = "app:";
  id += std::to_string(pid);
  return id;
}

std::optional<std::int32_t> pidOfAppID(const std::string& id);
std::optional<Rect> rectOf(const json& value);
// The display list of the world; nullopt for null, and entries that are no rectangle left out.
std::optional<std::vector<Rect>> displaysOf(const json& value);
// An element's or application's "delayMs", or -1 without one.
double delayOf(const json& description);
bool flagOf(const json& description, const char* key);
// The value of a world JSON value read as the given attribute.
AccessibilityValue valueOf(const std::string& attribute, const json& value);
// The world value of an attribute as a read answers it: nullopt when the element lacks it or
// its reads are set to fail.
std::optional<json> rawAttribute(const json& description, const std::string& attribute);
// Where an element lies on the screen, for hit-testing (whether or not its reads fail).
std::optional<Rect> frameOf(const json& description);
// The world form of a window entry turned into the window server's dictionary.
json windowDictionary(const json& entry);

// How a request is answered: after `delayMs`, or it fails after the timeout when that is
// shorter. Sleeps outside the state's lock.
struct Answer {
  double delayMs = 0;
  float timeout = kDefaultTimeout;
  bool fail = false;

  // Waits as the request takes; false when the request timed out.
  bool wait() const {
    double limitMs = static_cast<double>(timeout) * 1000.0;
    if (delayMs > limitMs) {
      std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(limitMs));
      return false;
    }
    if (delayMs > 0) {
      std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(delayMs));
    }
    return true;
  }
};

}  // namespace ax

struct SimAccessibility::State {
  using json = nlohmann::json;

  struct Element {
    std::int32_t pid = 0;
    json description;
  };

  std::mutex mutex;
  bool trusted = true;
  std::int32_t ownPid = 0;
  std::optional<json> windows = json::array();
  std::optional<std::vector<Rect>> displays = std::vector<Rect>{makeRect(0, 0, 1920, 1080)};
  std::map<std::int32_t, json> apps;                       // application specs
  std::map<std::int32_t, std::vector<std::string>> order;  // element ids per application
  std::map<std::string, Element> elements;
  float timeout = ax::kDefaultTimeout;
  std::map<std::string, float> elementTimeouts;

  // All under `mutex`.
  void removeApp(std::int32_t pid);
  void putElement(std::int32_t pid, const json& description);
  void putApp(std::int32_t pid, const json& description);
  void putApps(const json& all);
  float timeoutFor(const std::string& id) const;
  // The depth of an element below the top of its tree, following parent ids.
  int depth(const std::string& id) const;
  // The application whose frontmost window, of those that take the mouse, holds the point.
  std::optional<std::int32_t> windowOwnerAt(Point p) const;
  // The deepest element of the application whose frame holds the point (the last listed of
  // equally deep ones); empty when none does.
  std::string elementAt(std::int32_t pid, Point p);

  // Takes the world's keys, without the lock: nothing else can see the state yet.
  void loadWorld(const json& world);
  // A "set" request; takes the lock itself.
  void applySet(const json& request);
};

// Registers the accessibility's control requests ("set", "ax_app", "ax_element",
// "ax_remove_element") with the host.
void serveAccessibilityControl(SimHost& host,
                               const std::shared_ptr<SimAccessibility::State>& state);

}  // namespace virelo::sim
