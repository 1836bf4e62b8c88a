#include <xcb/xcb.h>
#include <xkbcommon/xkbcommon-x11.h>

#include "keystroke_table.h"
#include "virelo/client/errors.h"
#include "virelo/client/x11.h"
#include "x11_connection.h"
#include "xkb_handles.h"

namespace virelo::client {
namespace {

// How long reading the keymap may take.
constexpr std::chrono::milliseconds kKeymapWait{2000};

// The layout of the server on `connection`, or nullptr when it has none or the connection broke.
std::shared_ptr<const KeyboardLayout> layoutOn(xcb_connection_t* connection) {
  if (xkb_x11_setup_xkb_extension(
          connection, XKB_X11_MIN_MAJOR_XKB_VERSION, XKB_X11_MIN_MINOR_XKB_VERSION,
          XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr, nullptr, nullptr, nullptr) == 0) {
    return nullptr;
  }
  const std::int32_t device = xkb_x11_get_core_keyboard_device_id(connection);
  XkbContextPtr context = quietXkbContext();
  if (device < 0 || !context) return nullptr;
  XkbKeymapPtr keymap(xkb_x11_keymap_new_from_device(context.get(), connection, device,
                                                     XKB_KEYMAP_COMPILE_NO_FLAGS));
  if (!keymap) return nullptr;
  XkbStatePtr state(xkb_x11_state_new_from_device(keymap.get(), connection, device));
  if (!state) return nullptr;
  // The group the user has switched to, e.g. the second of "us,ru".
  const xkb_layout_index_t group =
      xkb_state_serialize_layout(state.get(), XKB_STATE_LAYOUT_EFFECTIVE);
  const char* groupName = xkb_keymap_layout_get_name(keymap.get(), group);
  KeystrokeTables tables = buildKeystrokeTable(keymap.get(), group);
  return std::make_shared<const KeyboardLayout>(
      std::string("of the X server (") + (groupName != nullptr ? groupName : "unnamed") + ")",
      std::move(tables.characters), std::move(tables.keysyms));
}

}  // namespace

std::shared_ptr<const KeyboardLayout> x11Layout(const char* display) {
  XcbConnectionPtr connection = connectX(display);
  if (!connection) return nullptr;
  // libxkbcommon-x11 waits for its replies with XCB's own waits.
  std::shared_ptr<const KeyboardLayout> layout;
  bool silent = false;
  {
    ServerDeadline deadline(connection.get(), kKeymapWait);
    layout = layoutOn(connection.get());
    silent = deadline.passed();
  }
  if (silent) {
    throw XServerSilent(std::string("the X server on \"") + display +
                        "\" did not give its keyboard layout within " +
                        std::to_string(kKeymapWait.count() / 1000) + " s (is it stopped?)");
  }
  return layout;
}

std::shared_ptr<const KeyboardLayout> activeLayout(const EnvironmentLookup& environment) {
  const char* display = environment("DISPLAY");
  if (display != nullptr && *display != '\0') {
    if (auto layout = x11Layout(display)) return layout;
  }
  return KeyboardLayout::named(layoutNameFromEnvironment(environment));
}

}  // namespace virelo::client
