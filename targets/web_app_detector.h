// Tells whether a process is a web browser or a web-based application, whose content the
// accessibility scan leaves alone. A process is web when its bundle identifier is one of the
// known browsers' (or extends one by a further dotted component), or when its bundle ships an
// Electron, Chromium or similar web framework in "Contents/Frameworks". Answers are cached per
// process id for the life of the detector; a bundle is inspected at most once per process id.
//
// Threads: used only on the snap target finder's background queue; no lock.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string_view>
#include <unordered_map>

#include "platform/running_applications.h"

namespace virelo {

class WebAppDetector {
 public:
  static constexpr std::array<std::string_view, 10> browserIDs = {
      "com.google.Chrome",     "com.microsoft.edgemac",
      "com.brave.Browser",     "com.operasoftware.Opera",
      "com.vivaldi.Vivaldi",   "company.thebrowser.Browser",
      "org.chromium.Chromium", "org.mozilla.firefox",
      "com.apple.Safari",      "com.apple.SafariTechnologyPreview"};

  explicit WebAppDetector(RunningApplications& applications) : applications_(applications) {}

  bool isWeb(std::int32_t pid);

  // The bundle identifier is a browser's or extends one by a "."-separated component.
  static bool isBrowserID(std::string_view bundleID);
  // An entry name of "Contents/Frameworks" that marks a web-based application.
  static bool isWebFramework(std::string_view name);
  // Whether the bundle at the path ships a web framework; an unreadable directory ships none.
  static bool shipsWebFramework(const std::filesystem::path& bundle);

 private:
  bool inspect(std::int32_t pid);

  RunningApplications& applications_;
  std::unordered_map<std::int32_t, bool> webApps_;
};

}  // namespace virelo
