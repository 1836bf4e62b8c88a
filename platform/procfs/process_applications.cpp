#include "platform/procfs/process_applications.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

namespace virelo::procfs {
namespace {

constexpr std::array<std::string_view, 23> kBrowsers{
    "firefox",
    "firefox-esr",
    "org.mozilla.firefox",
    "librewolf",
    "google-chrome",
    "google-chrome-beta",
    "google-chrome-unstable",
    "com.google.Chrome",
    "chromium",
    "chromium-browser",
    "org.chromium.Chromium",
    "microsoft-edge",
    "microsoft-edge-beta",
    "com.microsoft.Edge",
    "brave-browser",
    "com.brave.Browser",
    "opera",
    "com.opera.Opera",
    "vivaldi-stable",
    "com.vivaldi.Vivaldi",
    "epiphany",
    "org.gnome.Epiphany",
    "falkon",
};

bool sameText(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

std::filesystem::path procPath(std::int32_t pid) {
  return std::filesystem::path("/proc") / std::to_string(pid);
}

// The value of a variable in the process's environment, or empty.
std::string environmentValue(std::int32_t pid, std::string_view name) {
  std::ifstream in(procPath(pid) / "environ", std::ios::binary);
  std::string entry;
  while (std::getline(in, entry, '\0')) {
    if (entry.size() > name.size() && entry.starts_with(name) && entry[name.size()] == '=') {
      return entry.substr(name.size() + 1);
    }
  }
  return {};
}

std::string desktopID(std::int32_t pid) {
  for (auto name : {"GIO_LAUNCHED_DESKTOP_FILE", "BAMF_DESKTOP_FILE_HINT"}) {
    std::filesystem::path file = environmentValue(pid, name);
    if (file.extension() == ".desktop") return file.stem().string();
  }
  return environmentValue(pid, "FLATPAK_ID");
}

std::optional<std::filesystem::path> executable(std::int32_t pid) {
  std::error_code ec;
  auto path = std::filesystem::read_symlink(procPath(pid) / "exe", ec);
  if (ec || path.empty()) return std::nullopt;
  return path;
}

std::string commandName(std::int32_t pid) {
  std::ifstream in(procPath(pid) / "comm");
  std::string name;
  std::getline(in, name);
  return name;
}

}  // namespace

bool ProcessApplications::isBrowserIdentifier(std::string_view identifier) {
  for (auto browser : kBrowsers) {
    if (sameText(identifier, browser)) return true;
    if (identifier.size() > browser.size() && identifier[browser.size()] == '.' &&
        sameText(identifier.substr(0, browser.size()), browser)) {
      return true;
    }
  }
  return false;
}

bool ProcessApplications::embedsChromium(const std::filesystem::path& directory) {
  std::error_code ec;
  if (std::filesystem::exists(directory / "resources" / "app.asar", ec)) return true;
  std::vector<std::string> names;
  std::filesystem::directory_iterator it(directory, ec);
  for (std::filesystem::directory_iterator end; !ec && it != end; it.increment(ec)) {
    names.push_back(it->path().filename().string());
  }
  if (ec) return false;
  auto has = [&](auto test) { return std::any_of(names.begin(), names.end(), test); };
  if (has([](const std::string& n) { return n == "libcef.so"; })) return true;
  return has([](const std::string& n) { return n == "libffmpeg.so"; }) &&
         has([](const std::string& n) { return n.starts_with("chrome_") && n.ends_with(".pak"); });
}

std::optional<RunningApplications::Application> ProcessApplications::runningApplication(
    std::int32_t pid) {
  std::error_code ec;
  if (pid <= 0 || !std::filesystem::is_directory(procPath(pid), ec)) return std::nullopt;
  Application app;
  auto exe = executable(pid);
  std::string identifier = desktopID(pid);
  if (identifier.empty() && windowClass_) identifier = windowClass_(pid).value_or("");
  if (identifier.empty()) identifier = exe ? exe->filename().string() : commandName(pid);
  if (!identifier.empty()) app.bundleIdentifier = identifier;
  if (exe) app.bundleLocation = exe->parent_path();
  app.web = isBrowserIdentifier(identifier) || (exe && embedsChromium(exe->parent_path()));
  return app;
}

std::int32_t ProcessApplications::ownProcessID() {
  return static_cast<std::int32_t>(getpid());
}

}  // namespace virelo::procfs
