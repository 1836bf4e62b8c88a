#include "platform/atspi/atspi_roles.h"

#include <array>
#include <utility>

namespace virelo::atspi {
namespace {

// AT-SPI role, and the role name it stands for.
constexpr std::array<std::pair<AtspiRole, const char*>, 15> kRoles{{
    {ATSPI_ROLE_PUSH_BUTTON, "AXButton"},
    {ATSPI_ROLE_TOGGLE_BUTTON, "AXCheckBox"},
    {ATSPI_ROLE_CHECK_BOX, "AXCheckBox"},
    {ATSPI_ROLE_RADIO_BUTTON, "AXRadioButton"},
    {ATSPI_ROLE_COMBO_BOX, "AXPopUpButton"},
    {ATSPI_ROLE_PUSH_BUTTON_MENU, "AXMenuButton"},
    {ATSPI_ROLE_FRAME, "AXWindow"},
    {ATSPI_ROLE_WINDOW, "AXWindow"},
    {ATSPI_ROLE_DIALOG, "AXWindow"},
    {ATSPI_ROLE_ALERT, "AXWindow"},
    {ATSPI_ROLE_FILE_CHOOSER, "AXWindow"},
    {ATSPI_ROLE_APPLICATION, "AXApplication"},
    {ATSPI_ROLE_DOCUMENT_WEB, "AXWebArea"},
    {ATSPI_ROLE_HEADING, "AXHeading"},
    {ATSPI_ROLE_LABEL, "AXStaticText"},
}};

}  // namespace

std::string roleName(AtspiRole role, bool inMenuBar) {
  if (inMenuBar && (role == ATSPI_ROLE_MENU || role == ATSPI_ROLE_MENU_ITEM)) {
    return "AXMenuBarItem";
  }
  for (const auto& [atspiRole, name] : kRoles) {
    if (atspiRole == role) return name;
  }
  return "AXUnknown";
}

bool isWindowRole(AtspiRole role) {
  return roleName(role, false) == "AXWindow";
}

}  // namespace virelo::atspi
