#include "tests/kde/kde_desktop.h"

#include <algorithm>
#include <map>
#include <stdexcept>

#include "tests/kde/kde_desktop_session.h"

#ifndef VIRELO_SERVICE_PATH
#error "VIRELO_SERVICE_PATH must name the service binary"
#endif

namespace virelo::test {
namespace {

// The session, shared by the tests of a suite, or why there is none.
struct Session {
  std::unique_ptr<KdeDesktopSession> desktop;
  std::string failure;
};

std::unique_ptr<Session>& session() {
  static std::unique_ptr<Session> shared;
  return shared;
}

}  // namespace

void KdeDesktop::SetUpTestSuite() {
  session() = std::make_unique<Session>();
  session()->failure = KdeDesktopSession::missing();
  if (!session()->failure.empty()) return;
  try {
    session()->desktop = std::make_unique<KdeDesktopSession>(VIRELO_SERVICE_PATH);
  } catch (const std::exception& e) {
    session()->failure = e.what();
  }
}

void KdeDesktop::TearDownTestSuite() {
  session().reset();
}

void KdeDesktop::SetUp() {
  if (!session() || !session()->failure.empty()) {
    GTEST_SKIP() << (session() ? session()->failure : "no session");
  }
}

void KdeDesktop::TearDown() {
  if (!service_) return;
  service_->closeStdin();
  EXPECT_EQ(service_->waitExit(), 0);
  EXPECT_EQ(service_->standardError(), "");
}

void KdeDesktop::startService(bool admitted, bool awaitReady) {
  KdeDesktopSession& s = *session()->desktop;
  ServiceOptions options;
  options.backend = "cgevent";
  options.trace = false;
  options.control = false;
  options.environment = s.environment();
  options.environment["VL_HOST"] = "kde";
  if (admitted) {
    options.program = s.service();
    options.inPlace = true;
  }
  service_ = std::make_unique<ServiceProcess>(options);
  cursor_ = {640, 400};
  // KWin takes a moment to look the program up; on a busy machine the service may say that it is
  // not ready before it is.
  if (awaitReady) service_->awaitEventualReady();
}

std::unique_ptr<client::Client> KdeDesktop::connect() {
  auto client = std::make_unique<client::Client>(service_->socketPath());
  client->hello(service_->token());
  return client;
}

std::map<std::string, std::string> KdeDesktop::sessionEnvironment() {
  return session()->desktop->environment();
}

std::map<std::string, std::string> KdeDesktop::toolEnvironment() const {
  auto environment = sessionEnvironment();
  environment["VIRELO_SOCKET"] = service_->socketPath();
  environment["VIRELO_TOKEN"] = service_->token();
  environment["VL_HOST"] = "kde";
  return environment;
}

ScreenPoint KdeDesktop::centre(const std::string& widget) {
  const ScreenPoint inside = app().centre(widget);
  const ScreenPoint origin = session()->desktop->origin();
  return {origin.x + inside.x, origin.y + inside.y};
}

void KdeDesktop::moveTo(client::Client& client, ScreenPoint target) {
  while (cursor_.x != target.x || cursor_.y != target.y) {
    const int dx = std::clamp(target.x - cursor_.x, -127, 127);
    const int dy = std::clamp(target.y - cursor_.y, -127, 127);
    client.move(dx, dy);
    cursor_ = {cursor_.x + dx, cursor_.y + dy};
  }
}

std::optional<std::string> KdeDesktop::entryText(const std::string& expected) {
  auto text = session()->desktop->ask("kde_entry_text.py", expected);
  if (!text.is_string()) return std::nullopt;
  return text.get<std::string>();
}

GtkReceiver& KdeDesktop::app() {
  return session()->desktop->receiver();
}

}  // namespace virelo::test
