// The running applications of a Linux desktop, looked up by process id through /proc: the part
// of application lookup that every desktop host shares, whatever its window server.
//
// The stable identifier (the "bundle identifier" of the interface) is the desktop file id of the
// launched application where known (GIO_LAUNCHED_DESKTOP_FILE, BAMF_DESKTOP_FILE_HINT or
// FLATPAK_ID in its environment), else the class that the window server gives one of its windows
// (X11's WM_CLASS, a Wayland compositor's application id), else the name of its executable. The
// "bundle location" is the executable's directory. The application is marked web when its
// identifier is a common browser's or when its executable's directory holds an embedded Chromium:
// resources/app.asar (Electron), libffmpeg.so with chrome_*.pak, or libcef.so. A process whose
// executable cannot be read is not web by its directory.
//
// Threads: ownProcessID() on any thread; runningApplication() only on the snap target finder's
// queue, the thread that also calls the window class lookup.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/running_applications.h"

namespace virelo::procfs {

class ProcessApplications final : public RunningApplications {
 public:
  // The window server's class of one of the process's windows, or nullopt.
  using WindowClassLookup = std::function<std::optional<std::string>(std::int32_t pid)>;

  // Without a lookup, an application without a desktop file id is named by its executable.
  explicit ProcessApplications(WindowClassLookup windowClass = {})
      : windowClass_(std::move(windowClass)) {}

  std::optional<Application> runningApplication(std::int32_t pid) override;
  std::int32_t ownProcessID() override;

  // Whether an identifier is a common web browser's (compared without case; an identifier that
  // extends a browser's by a further "." component counts too).
  static bool isBrowserIdentifier(std::string_view identifier);
  // Whether an executable's directory holds an Electron or embedded Chromium runtime.
  static bool embedsChromium(const std::filesystem::path& directory);

 private:
  WindowClassLookup windowClass_;
};

}  // namespace virelo::procfs
