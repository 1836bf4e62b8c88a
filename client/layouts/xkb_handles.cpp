#include "xkb_handles.h"

#include <cstdarg>

namespace virelo::client {

XkbContextPtr quietXkbContext() {
  XkbContextPtr context(xkb_context_new(static_cast<xkb_context_flags>(
      XKB_CONTEXT_NO_DEFAULT_INCLUDES | XKB_CONTEXT_NO_ENVIRONMENT_NAMES)));
  if (!context) return context;
  xkb_context_set_log_fn(context.get(), [](xkb_context*, xkb_log_level, const char*, va_list) {});
  // Added after the log function is set, so that a missing directory is not reported either.
  xkb_context_include_path_append_default(context.get());
  return context;
}

xkb_compose_table* sharedComposeTable() {
  static const XkbComposeTablePtr table = [] {
    XkbContextPtr context = quietXkbContext();
    if (!context) return XkbComposeTablePtr();
    return XkbComposeTablePtr(xkb_compose_table_new_from_locale(context.get(), "en_US.UTF-8",
                                                                XKB_COMPOSE_COMPILE_NO_FLAGS));
  }();
  return table.get();
}

}  // namespace virelo::client
