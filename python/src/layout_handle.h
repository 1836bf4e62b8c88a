// A compiled keyboard layout as Python holds it (the library shares layouts as const objects).
#pragma once

#include <memory>

#include "virelo/client/layouts.h"

namespace virelo::python {

struct LayoutHandle {
  std::shared_ptr<const virelo::client::KeyboardLayout> layout;
};

}  // namespace virelo::python
