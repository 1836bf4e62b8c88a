#include "fake_platform.h"

#include <sstream>

namespace virelo::testing {

FakePlatform::FakePlatform()
    : windowInfo_(nlohmann::json::array()),
      displays_(std::vector<Rect>{makeRect(0, 0, 1920, 1080)}) {}

std::string FakePlatform::idOf(const ElementRef& element) {
  auto fake = std::dynamic_pointer_cast<const FakeElement>(element);
  return fake ? fake->id : std::string("?");
}

void FakePlatform::note(std::string line) {
  log_.push_back(std::move(line));
}

void FakePlatform::element(const std::string& id, std::int32_t pid) {
  std::lock_guard<std::mutex> guard(mutex_);
  nodes_[id].pid = pid;
}

void FakePlatform::attr(const std::string& id, const std::string& name, AccessibilityValue value) {
  std::lock_guard<std::mutex> guard(mutex_);
  nodes_[id].attributes[name] = std::move(value);
}

void FakePlatform::failAttr(const std::string& id, const std::string& name) {
  std::lock_guard<std::mutex> guard(mutex_);
  nodes_[id].attributes[name] = std::nullopt;
}

void FakePlatform::control(const std::string& id, std::int32_t pid, const std::string& role,
                           Rect frame, const std::string& parent) {
  element(id, pid);
  attr(id, "AXRole", role);
  attr(id, "AXPosition", frame.origin);
  attr(id, "AXSize", frame.size);
  if (!parent.empty()) attr(id, "AXParent", ref(parent));
}

void FakePlatform::windowElement(const std::string& id, std::int32_t pid, Rect frame) {
  control(id, pid, "AXWindow", frame, "app:" + std::to_string(pid));
  std::lock_guard<std::mutex> guard(mutex_);
  auto& app = nodes_["app:" + std::to_string(pid)];
  app.pid = pid;
  auto& list = app.attributes["AXWindows"];
  if (!list || !std::holds_alternative<std::vector<ElementRef>>(*list)) {
    list = std::vector<ElementRef>{};
  }
  std::get<std::vector<ElementRef>>(*list).push_back(ref(id));
}

void FakePlatform::setButton(const std::string& window, const std::string& attribute,
                             const std::string& id) {
  attr(window, attribute, ref(id));
}

void FakePlatform::hitRegion(Rect area, const std::string& id) {
  std::lock_guard<std::mutex> guard(mutex_);
  hits_.emplace_back(area, id);
}

void FakePlatform::failPID(const std::string& id) {
  std::lock_guard<std::mutex> guard(mutex_);
  nodes_[id].pidFails = true;
}

void FakePlatform::window(std::int32_t pid, Rect bounds, std::int64_t layer,
                          std::optional<double> alpha) {
  nlohmann::json entry = {{kWindowOwnerPID, pid},
                          {kWindowLayer, layer},
                          {kWindowBounds,
                           {{"X", bounds.origin.x},
                            {"Y", bounds.origin.y},
                            {"Width", bounds.size.width},
                            {"Height", bounds.size.height}}}};
  if (alpha) entry[kWindowAlpha] = *alpha;
  std::lock_guard<std::mutex> guard(mutex_);
  if (!windowInfo_ || !windowInfo_->is_array()) windowInfo_ = nlohmann::json::array();
  windowInfo_->push_back(std::move(entry));
}

void FakePlatform::setWindowInfo(std::optional<nlohmann::json> info) {
  std::lock_guard<std::mutex> guard(mutex_);
  windowInfo_ = std::move(info);
}

void FakePlatform::setDisplays(std::optional<std::vector<Rect>> displays) {
  std::lock_guard<std::mutex> guard(mutex_);
  displays_ = std::move(displays);
}

void FakePlatform::app(std::int32_t pid, std::optional<std::string> bundleID,
                       std::optional<std::filesystem::path> location) {
  std::lock_guard<std::mutex> guard(mutex_);
  apps_[pid] = {std::move(bundleID), std::move(location)};
}

void FakePlatform::webApp(std::int32_t pid, std::string identifier) {
  std::lock_guard<std::mutex> guard(mutex_);
  apps_[pid] = {std::move(identifier), std::nullopt, true};
}

void FakePlatform::setTrusted(bool trusted) {
  std::lock_guard<std::mutex> guard(mutex_);
  trusted_ = trusted;
}

void FakePlatform::onSearch(std::function<void()> hook) {
  std::lock_guard<std::mutex> guard(mutex_);
  searchHook_ = std::move(hook);
}

std::vector<std::string> FakePlatform::log() {
  std::lock_guard<std::mutex> guard(mutex_);
  return log_;
}

int FakePlatform::count(const std::string& prefix) {
  std::lock_guard<std::mutex> guard(mutex_);
  int n = 0;
  for (const auto& line : log_) n += line.rfind(prefix, 0) == 0 ? 1 : 0;
  return n;
}

void FakePlatform::clearLog() {
  std::lock_guard<std::mutex> guard(mutex_);
  log_.clear();
}

std::optional<float> FakePlatform::messagingTimeout() {
  std::lock_guard<std::mutex> guard(mutex_);
  return timeout_;
}

int FakePlatform::searches() {
  std::lock_guard<std::mutex> guard(mutex_);
  return searches_;
}

bool FakePlatform::isProcessTrusted() {
  std::function<void()> hook;
  {
    std::lock_guard<std::mutex> guard(mutex_);
    ++searches_;
    hook = searchHook_;
  }
  if (hook) hook();
  std::lock_guard<std::mutex> guard(mutex_);
  return trusted_;
}

void FakePlatform::setMessagingTimeout(const ElementRef& element, float seconds) {
  std::lock_guard<std::mutex> guard(mutex_);
  if (idOf(element) == "system") timeout_ = seconds;
}

std::optional<AccessibilityValue> FakePlatform::copyAttributeValue(const ElementRef& element,
                                                                   const std::string& attribute) {
  std::lock_guard<std::mutex> guard(mutex_);
  std::string id = idOf(element);
  note("attr " + id + " " + attribute);
  auto node = nodes_.find(id);
  if (node == nodes_.end()) return std::nullopt;
  auto it = node->second.attributes.find(attribute);
  if (it == node->second.attributes.end()) return std::nullopt;
  return it->second;
}

ElementRef FakePlatform::elementAtPosition(const ElementRef& systemWide, float x, float y) {
  std::lock_guard<std::mutex> guard(mutex_);
  std::ostringstream line;
  line << "hit " << x << " " << y;
  note(line.str());
  if (idOf(systemWide) != "system") return nullptr;
  for (const auto& [area, id] : hits_) {
    if (area.contains(Point{x, y})) return ref(id);
  }
  return nullptr;
}

std::optional<std::int32_t> FakePlatform::processID(const ElementRef& element) {
  std::lock_guard<std::mutex> guard(mutex_);
  std::string id = idOf(element);
  note("pid " + id);
  auto node = nodes_.find(id);
  if (node == nodes_.end() || node->second.pidFails) return std::nullopt;
  return node->second.pid;
}

bool FakePlatform::equal(const ElementRef& a, const ElementRef& b) {
  return idOf(a) == idOf(b);
}

std::optional<nlohmann::json> FakePlatform::copyWindowInfo(std::uint32_t options,
                                                           std::uint32_t relativeToWindow) {
  std::lock_guard<std::mutex> guard(mutex_);
  note("windows " + std::to_string(options) + " " + std::to_string(relativeToWindow));
  return windowInfo_;
}

std::optional<std::vector<std::uint32_t>> FakePlatform::activeDisplayList(
    std::uint32_t maxDisplays) {
  std::lock_guard<std::mutex> guard(mutex_);
  note("displays " + std::to_string(maxDisplays));
  if (!displays_) return std::nullopt;
  std::vector<std::uint32_t> ids;
  // The platform fills at most the room it was given.
  for (std::uint32_t i = 0; i < displays_->size() && i < maxDisplays; ++i) ids.push_back(i + 1);
  return ids;
}

Rect FakePlatform::displayBounds(std::uint32_t display) {
  std::lock_guard<std::mutex> guard(mutex_);
  if (!displays_ || display == 0 || display > displays_->size()) return {};
  return (*displays_)[display - 1];
}

std::optional<RunningApplications::Application> FakePlatform::runningApplication(std::int32_t pid) {
  std::lock_guard<std::mutex> guard(mutex_);
  note("app " + std::to_string(pid));
  auto it = apps_.find(pid);
  if (it == apps_.end()) return std::nullopt;
  return it->second;
}

}  // namespace virelo::testing
