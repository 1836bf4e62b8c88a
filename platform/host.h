// A host: the set of platform services the service runs on. Each host is put together from the
// parts of the host folders (composed_host.h) by one factory in platform/hosts/, registered there
// under its name (host_registry.h); the service takes from it the code signature for the
// capability probe, the HID device service for "corehid", the window server's event services for
// "cgevent" and the accessibility services that snap targets are found with.
//
// Lifetime: the services handed out live as long as the host; `keepAlive` of the accessibility
// services keeps them alive past it for searches that finish after the stop.
// Threads: the host is built and started on the main thread; startThreads() runs after the
// process fixed its signal mask, so that threads of the host inherit it.
#pragma once

#include <memory>

#include "platform/accessibility.h"
#include "platform/active_displays.h"
#include "platform/code_signature.h"
#include "platform/event_services.h"
#include "platform/running_applications.h"
#include "platform/virtual_hid.h"
#include "platform/window_list.h"

namespace virelo {

struct AccessibilityServices {
  Accessibility& accessibility;
  WindowList& windowList;
  ActiveDisplays& displays;
  RunningApplications& applications;
  std::shared_ptr<const void> keepAlive;
};

class Host {
 public:
  virtual ~Host() = default;
  virtual CodeSignature& codeSignature() = 0;
  virtual HidDeviceService& devices() = 0;
  virtual EventServices& windowServer() = 0;
  virtual AccessibilityServices accessibility() = 0;
  virtual void startThreads() {}
  virtual void stopThreads() {}
};

using HostFactory = std::unique_ptr<Host> (*)();

}  // namespace virelo
