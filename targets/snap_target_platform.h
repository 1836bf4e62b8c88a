// The platform services the snap target finder reaches, borrowed: they must outlive the finder.
// A search the finder abandons may still be inside a platform request when the finder's owner
// lets go, and the finder is destroyed when that search returns: `keepAlive` owns whatever the
// services need to live until then (nothing when the owner waits for the searches itself).
#pragma once

#include <memory>

#include "platform/accessibility.h"
#include "platform/active_displays.h"
#include "platform/running_applications.h"
#include "platform/window_list.h"

namespace virelo {

struct SnapTargetPlatform {
  Accessibility& accessibility;
  WindowList& windowList;
  ActiveDisplays& displays;
  RunningApplications& applications;
  std::shared_ptr<const void> keepAlive = nullptr;
};

}  // namespace virelo
