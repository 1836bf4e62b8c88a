// The running applications of the Linux desktop, looked up by process id through /proc.
//
// The stable identifier (the "bundle identifier" of the interface) is the desktop file id of the
// launched application where known (GIO_LAUNCHED_DESKTOP_FILE, BAMF_DESKTOP_FILE_HINT or
// FLATPAK_ID in its environment), else the class of WM_CLASS of one of its windows, else the
// name of its executable. The "bundle location" is the executable's directory. The application
// is marked web when its identifier is a common browser's or when its executable's directory
// holds an embedded Chromium: resources/app.asar (Electron), libffmpeg.so with chrome_*.pak, or
// libcef.so. A process whose executable cannot be read is not web by its directory.
//
// Threads: ownProcessID() on any thread; runningApplication() only on the snap target finder's
// queue, the thread that also uses the window list.
#pragma once

#include <filesystem>
#include <string_view>

#include "platform/running_applications.h"
#include "platform/x11/x11_window_list.h"

namespace virelo::x11 {

class LinuxApplications final : public RunningApplications {
 public:
  // `windows` must outlive this object.
  explicit LinuxApplications(X11WindowList& windows) : windows_(windows) {}

  std::optional<Application> runningApplication(std::int32_t pid) override;
  std::int32_t ownProcessID() override;

  // Whether an identifier is a common web browser's (compared without case; an identifier that
  // extends a browser's by a further "." component counts too).
  static bool isBrowserIdentifier(std::string_view identifier);
  // Whether an executable's directory holds an Electron or embedded Chromium runtime.
  static bool embedsChromium(const std::filesystem::path& directory);

 private:
  X11WindowList& windows_;
};

}  // namespace virelo::x11
