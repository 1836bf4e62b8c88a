// The windows' calls on a real X server (Xvfb): under openbox, windows listed with what they say
// of themselves, searched and activated in turn; and the refusals where the window manager offers
// too little: none at all, and one that lists windows but takes no request to activate one (its
// hints written here on the root window as such a window manager writes them).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "tests/support/xvfb_server.h"
#include "virelo/client/controls.h"
#include "virelo/client/windows.h"

namespace virelo::client {
namespace {

using test::XvfbServer;

xcb_atom_t atom(xcb_connection_t* x, const char* name) {
  auto* reply = xcb_intern_atom_reply(
      x, xcb_intern_atom(x, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr);
  const xcb_atom_t atom = reply->atom;
  std::free(reply);
  return atom;
}

using namespace std::chrono_literals;

// openbox on the display, from its start until it announces itself until the object goes.
class Openbox {
 public:
  explicit Openbox(const std::string& display) {
    if (::access(kPath, X_OK) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      const int null = ::open("/dev/null", O_RDWR);
      ::dup2(null, 0), ::dup2(null, 1), ::dup2(null, 2);
      ::setenv("DISPLAY", display.c_str(), 1);
      ::execl(kPath, kPath, "--sm-disable", static_cast<char*>(nullptr));
      ::_exit(127);
    }
  }
  ~Openbox() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
  }
  bool started() const { return pid_ > 0; }

 private:
  static constexpr const char* kPath = "/usr/bin/openbox";
  pid_t pid_ = -1;
};

void setText(xcb_connection_t* x, xcb_window_t window, xcb_atom_t property, xcb_atom_t type,
             std::string_view text) {
  xcb_change_property(x, XCB_PROP_MODE_REPLACE, window, property, type, 8,
                      static_cast<std::uint32_t>(text.size()), text.data());
}

// A mapped top-level window that says its title, class and process, as toolkits do.
xcb_window_t topLevel(xcb_connection_t* x, const std::string& title, std::string_view wmClass) {
  const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(x)).data->root;
  const xcb_window_t window = xcb_generate_id(x);
  xcb_create_window(x, XCB_COPY_FROM_PARENT, window, root, 50, 60, 200, 100, 0,
                    XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, 0, nullptr);
  setText(x, window, atom(x, "_NET_WM_NAME"), atom(x, "UTF8_STRING"), title);
  setText(x, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, wmClass);
  const std::uint32_t pid = static_cast<std::uint32_t>(::getpid());
  xcb_change_property(x, XCB_PROP_MODE_REPLACE, window, atom(x, "_NET_WM_PID"), XCB_ATOM_CARDINAL,
                      32, 1, &pid);
  xcb_map_window(x, window);
  xcb_flush(x);
  return window;
}

// Waits up to 10 s until the window manager lists that many windows.
bool listed(const char* display, std::size_t count) {
  for (auto deadline = std::chrono::steady_clock::now() + 10s;
       std::chrono::steady_clock::now() < deadline; std::this_thread::sleep_for(20ms)) {
    try {
      if (listWindows(display).size() == count) return true;
    } catch (const WindowsUnavailable&) {
    }
  }
  return false;
}

TEST(X11Windows, UnderOpenboxWindowsAreListedSearchedAndActivatedInTurn) {
  XvfbServer server(XvfbServer::Options{std::nullopt, {"-screen", "0", "1024x768x24"}});
  if (!server.available()) GTEST_SKIP() << "Xvfb is not installed or did not start";
  const char* display = server.display().c_str();
  Openbox openbox(server.display());
  if (!openbox.started()) GTEST_SKIP() << "openbox is not installed";
  xcb_connection_t* x = xcb_connect(display, nullptr);
  ASSERT_EQ(xcb_connection_has_error(x), 0);
  const xcb_window_t alpha = topLevel(x, "Alpha ☃", std::string_view("alpha\0Virelo-test\0", 18));
  const xcb_window_t beta = topLevel(x, "Beta", std::string_view("beta\0Virelo-test\0", 17));
  ASSERT_TRUE(listed(display, 2));
  WindowQuery query;
  query.className = NameMatch::matching("(?i)virelo-TEST");
  auto windows = searchWindows(display, query);
  ASSERT_EQ(windows.size(), 2u);
  EXPECT_EQ(windows[0].id, alpha);
  EXPECT_EQ(windows[0].title, "Alpha ☃");
  EXPECT_EQ(windows[0].application, "Virelo-test");
  EXPECT_EQ(windows[0].instance, "alpha");
  EXPECT_EQ(windows[0].pid, ::getpid());
  EXPECT_EQ(windows[0].desktop, 0);
  EXPECT_EQ(windows[0].geometry.width, 200);
  EXPECT_EQ(windows[0].geometry.height, 100);
  query.className = NameMatch::exactly("beta");
  query.pid = ::getpid();
  windows = searchWindows(display, query);
  ASSERT_EQ(windows.size(), 1u);
  EXPECT_EQ(windows[0].id, beta);
  for (xcb_window_t window : {alpha, beta, alpha}) {
    activateWindow(display, window);
    auto active = activeWindow(display);
    ASSERT_TRUE(active);
    EXPECT_EQ(active->id, window);
    EXPECT_TRUE(active->focused);
  }
  const ScreenArea screen = displayGeometry(display);
  EXPECT_EQ(screen.width, 1024);
  EXPECT_EQ(screen.height, 768);
  xcb_disconnect(x);
}

TEST(X11Windows, WithoutAWindowManagersListOrItsActivationRequestTheCallsRefuse) {
  XvfbServer server;
  if (!server.available()) GTEST_SKIP() << "Xvfb is not installed or did not start";
  const char* display = server.display().c_str();
  // Connected first: an Xvfb whose last client leaves resets, and refuses connections meanwhile.
  xcb_connection_t* x = xcb_connect(display, nullptr);
  ASSERT_EQ(xcb_connection_has_error(x), 0);
  EXPECT_THROW(listWindows(display), WindowsUnavailable);
  const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(x)).data->root;
  const xcb_window_t window = xcb_generate_id(x);
  xcb_create_window(x, XCB_COPY_FROM_PARENT, window, root, 10, 20, 30, 40, 0,
                    XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, 0, nullptr);
  const xcb_atom_t clientList = atom(x, "_NET_CLIENT_LIST");
  xcb_change_property(x, XCB_PROP_MODE_REPLACE, root, clientList, XCB_ATOM_WINDOW, 32, 1, &window);
  xcb_change_property(x, XCB_PROP_MODE_REPLACE, root, atom(x, "_NET_SUPPORTED"), XCB_ATOM_ATOM, 32,
                      1, &clientList);
  std::free(xcb_get_input_focus_reply(x, xcb_get_input_focus(x), nullptr));  // a round trip
  const auto windows = listWindows(display);
  ASSERT_EQ(windows.size(), 1u);
  EXPECT_EQ(windows[0].id, window);
  EXPECT_EQ(windows[0].geometry.width, 30);
  EXPECT_FALSE(windows[0].focused);
  EXPECT_THROW(activateWindow(display, window), WindowRequestUnsupported);
  EXPECT_THROW(activateWindow(display, window + 1), NoSuchWindow);
  xcb_disconnect(x);
}

}  // namespace
}  // namespace virelo::client
