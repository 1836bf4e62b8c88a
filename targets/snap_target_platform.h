// The platform services the snap target finder reaches, all borrowed: they must outlive the
// finder (the finder joins its background queue when it is destroyed, so nothing uses them
// afterwards).
#pragma once

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
};

}  // namespace virelo
