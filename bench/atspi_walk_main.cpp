// The baseline of the controls figures (tools/bench --only controls): a bare libatspi client that
// looks for the accessibles of one name in the desktop's applications, with nothing of ours in
// between. For each application, each of its windows is walked depth first, one request for each
// accessible's child count, each child, its name and its role. Prints "<role>\t<name>" for each
// accessible of that name, and exits 0 when it found one, 1 when not, 2 when libatspi does not
// start.
//
//   virelo-atspi-walk NAME
#include <atspi/atspi.h>

#include <cstdio>
#include <cstring>

namespace {

// Depth of the deepest walk, as deep as the controls' search goes.
constexpr int kMaxDepth = 64;

int found = 0;

void check(AtspiAccessible* accessible, const char* wanted) {
  gchar* name = atspi_accessible_get_name(accessible, nullptr);
  AtspiRole role = atspi_accessible_get_role(accessible, nullptr);
  if (name != nullptr && std::strcmp(name, wanted) == 0) {
    gchar* roleName = atspi_role_get_name(role);
    std::printf("%s\t%s\n", roleName != nullptr ? roleName : "", name);
    g_free(roleName);
    ++found;
  }
  g_free(name);
}

void walk(AtspiAccessible* node, const char* wanted, int depth) {
  if (depth >= kMaxDepth) return;
  const gint count = atspi_accessible_get_child_count(node, nullptr);
  for (gint i = 0; i < count; ++i) {
    AtspiAccessible* child = atspi_accessible_get_child_at_index(node, i, nullptr);
    if (child == nullptr) continue;
    check(child, wanted);
    walk(child, wanted, depth + 1);
    g_object_unref(child);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: virelo-atspi-walk NAME\n");
    return 2;
  }
  const char* wanted = argv[1];
  if (atspi_init() > 1) return 2;
  AtspiAccessible* desktop = atspi_get_desktop(0);
  if (desktop == nullptr) return 2;
  const gint applications = atspi_accessible_get_child_count(desktop, nullptr);
  for (gint a = 0; a < applications; ++a) {
    AtspiAccessible* application = atspi_accessible_get_child_at_index(desktop, a, nullptr);
    if (application == nullptr) continue;
    const gint windows = atspi_accessible_get_child_count(application, nullptr);
    for (gint w = 0; w < windows; ++w) {
      AtspiAccessible* window = atspi_accessible_get_child_at_index(application, w, nullptr);
      if (window == nullptr) continue;
      check(window, wanted);
      walk(window, wanted, 0);
      g_object_unref(window);
    }
    g_object_unref(application);
  }
  g_object_unref(desktop);
  return found > 0 ? 0 : 1;
}
