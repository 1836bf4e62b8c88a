#include "targets/web_app_detector.h"

#include <string>
#include <system_error>
#include <vector>

namespace virelo {

bool WebAppDetector::isWeb(std::int32_t pid) {
  auto it = webApps_.find(pid);
  if (it != webApps_.end()) return it->second;
  bool answer = inspect(pid);
  webApps_.emplace(pid, answer);
  return answer;
}

bool WebAppDetector::inspect(std::int32_t pid) {
  auto app = applications_.runningApplication(pid);
  if (!app) return false;
  if (app->web) return true;
  if (isBrowserID(app->bundleIdentifier.value_or(std::string()))) return true;
  if (!app->bundleLocation) return false;
  return shipsWebFramework(*app->bundleLocation);
}

bool WebAppDetector::isBrowserID(std::string_view bundleID) {
  for (auto browser : browserIDs) {
    if (bundleID == browser) return true;
    if (bundleID.size() > browser.size() && bundleID.starts_with(browser) &&
        bundleID[browser.size()] == '.') {
      return true;
    }
  }
  return false;
}

bool WebAppDetector::isWebFramework(std::string_view name) {
  return name.starts_with("Electron Framework") ||
         name.find("Chromium") != std::string_view::npos || name.ends_with(" Framework.framework");
}

bool WebAppDetector::shipsWebFramework(const std::filesystem::path& bundle) {
  std::error_code ec;
  std::filesystem::directory_iterator it(bundle / "Contents" / "Frameworks", ec);
  // The whole listing is taken first: a listing that fails part way counts as empty.
  std::vector<std::string> names;
  for (std::filesystem::directory_iterator end; !ec && it != end; it.increment(ec)) {
    names.push_back(it->path().filename().string());
  }
  if (ec) return false;
  for (const auto& name : names) {
    if (isWebFramework(name)) return true;
  }
  return false;
}

}  // namespace virelo
