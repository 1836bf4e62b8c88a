// What a native Wayland application (the GTK receiver under KWin) receives from the real service
// on the KDE host, and what the service says of what the compositor lets it do.
#include <algorithm>

#include "tests/kde/kde_desktop.h"
#include "tests/support/child_process.h"
#include "tests/support/private_dir.h"
#include "tests/tools/tool_process.h"

namespace virelo::test {
namespace {

using Event = nlohmann::json;

std::function<bool(const Event&)> is(const std::string& name) {
  return [name](const Event& e) { return e.value("event", "") == name; };
}

class KdeInput : public KdeDesktop {
 protected:
  void SetUp() override {
    KdeDesktop::SetUp();
    if (IsSkipped()) return;
    startService();
    if (HasFatalFailure()) return;
    client_ = connect();
    app().drain(50ms);
  }

  std::unique_ptr<client::Client> client_;
};

TEST_F(KdeInput, TypedTextArrivesInTheEntryByPosition) {
  // Letters by their keys' positions, shifted ones with the left shift, and a digit and a comma.
  client_->keyboardSequence(
      {{0, {0x0B}}, {0, {}}, {2, {0x08}}, {0, {}}, {0, {0x1E}}, {0, {}}, {0, {0x36}}, {0, {}}});
  EXPECT_EQ(entryText("hE1,"), "hE1,");
}

TEST_F(KdeInput, ATextTheLayoutCannotTypeIsPastedThroughTheClipboardWhenAsked) {
  if (!programExists("wl-copy")) GTEST_SKIP() << "wl-clipboard is not installed (wl-clipboard)";
  const std::string text = "snow \u2603";  // no key of the US layout types U+2603
  auto pasted =
      client::runTool({"type", "--layout", "us", "--via-clipboard", text}, toolEnvironment());
  EXPECT_EQ(pasted.status, 0) << pasted.errors;
  EXPECT_EQ(entryText(text), text);
}

TEST_F(KdeInput, AClickAtAPlaceFiresTheButtonThereOnce) {
  moveTo(*client_, centre("button"));
  client_->pressButtons(1);
  client_->releaseButtons(1);
  EXPECT_TRUE(app().next(is("clicked")));
  auto after = app().drain();
  EXPECT_EQ(std::count_if(after.begin(), after.end(), is("clicked")), 0);
}

TEST_F(KdeInput, ADragCarriesTheHeldButtonAlongItsPath) {
  moveTo(*client_, centre("drag"));
  client_->pressButtons(1);
  client_->move(30, 20);
  client_->move(10, 0);
  client_->releaseButtons(1);
  // The toolkit's own coordinates under Wayland are the window's: compare the ends.
  auto began = app().next(is("drag_start"));
  ASSERT_TRUE(began);
  EXPECT_TRUE(app().next(is("drag_motion")));
  auto ended = app().next(is("drag_end"));
  ASSERT_TRUE(ended);
  EXPECT_EQ((*ended)["x"].get<int>() - (*began)["x"].get<int>(), 40);
  EXPECT_EQ((*ended)["y"].get<int>() - (*began)["y"].get<int>(), 20);
}

TEST_F(KdeInput, WheelStepsScrollInTheirDirection) {
  moveTo(*client_, centre("scroll"));
  client_->wheel(-2);
  auto down = app().next(is("scroll"));
  ASSERT_TRUE(down);
  EXPECT_GT((*down)["dy"].get<double>(), 0) << down->dump();
  app().drain();
  client_->wheel(1);
  auto up = app().next(is("scroll"));
  ASSERT_TRUE(up);
  EXPECT_LT((*up)["dy"].get<double>(), 0) << up->dump();
}

class KdeService : public KdeDesktop {};

TEST_F(KdeService, SaysThatNoTapWatchesTheHardwareKeyboard) {
  startService(/*admitted=*/true, /*awaitReady=*/false);
  std::optional<Event> fn;
  while ((fn = service_->readEvent(10s)) && fn->value("type", "") != "fn_state") {
  }
  ASSERT_TRUE(fn);
  EXPECT_EQ(fn->value("bridgeReady", true), false);
}

TEST_F(KdeService, IsNotReadyWhereKWinDoesNotOfferItsFakeInput) {
  startService(/*admitted=*/false, /*awaitReady=*/false);
  auto first = service_->readEvent(10s);
  ASSERT_TRUE(first);
  EXPECT_EQ(first->value("type", ""), "status");
  EXPECT_EQ(first->value("ready", true), false);
  EXPECT_EQ(first->value("error", ""), "virtual_hid_accessibility_required");
}

TEST_F(KdeService, TheSessionChoosesTheKdeHostByItself) {
  PrivateDir config;  // no configuration file names a host, nor does the environment
  auto environment = sessionEnvironment();
  environment["XDG_CONFIG_HOME"] = config.path();
  client::ToolProcess session({"session"}, environment);
  const nlohmann::json published = client::publishedSession(environment);
  ASSERT_TRUE(published.is_object()) << session.errors();
  EXPECT_EQ(published["host"], "kde");
  EXPECT_EQ(published["backend"], "cgevent");
  EXPECT_NE(session.errors().find("host kde (a Wayland session of KWin: org.kde.KWin is on the "
                                  "session bus), backend cgevent"),
            std::string::npos)
      << session.errors();
}

}  // namespace
}  // namespace virelo::test
