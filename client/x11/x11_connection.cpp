#include "x11_connection.h"

#include <sys/socket.h>

#include <cstdlib>
#include <string>

#include "virelo/client/errors.h"

namespace virelo::client {

std::string serverName(const std::string& display) {
  // "unix:N" is the local socket; libxcb 1.17 (Debian 13) no longer parses that form.
  if (display.starts_with("unix:")) return serverName(display.substr(4));
  char* host = nullptr;
  int number = 0;
  if (xcb_parse_display(display.c_str(), &host, &number, nullptr) == 0) return display;
  std::string server = host;
  std::free(host);
  if (server == "unix") server.clear();  // the local socket, as an empty host
  return server + ":" + std::to_string(number);
}

XcbConnectionPtr connectX(const char* display) {
  // XCB's connection set-up waits for the server without a bound, so it runs on a thread of its
  // own, which is left to itself when the wait here ends first.
  struct Attempt {
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    bool abandoned = false;
    xcb_connection_t* connection = nullptr;
  };
  auto attempt = std::make_shared<Attempt>();
  const std::string name = display != nullptr ? display : "";
  std::thread([attempt, name] {
    xcb_connection_t* connection = xcb_connect(name.empty() ? nullptr : name.c_str(), nullptr);
    std::lock_guard<std::mutex> guard(attempt->mutex);
    if (attempt->abandoned) {
      xcb_disconnect(connection);
      return;
    }
    attempt->connection = connection;
    attempt->done = true;
    attempt->finished.notify_all();
  }).detach();
  std::unique_lock<std::mutex> lock(attempt->mutex);
  if (!attempt->finished.wait_for(lock, kConnectWait, [&] { return attempt->done; })) {
    attempt->abandoned = true;
    throw XServerSilent("the X server on \"" + name + "\" did not answer within " +
                        std::to_string(kConnectWait.count() / 1000) + " s (is it stopped?)");
  }
  XcbConnectionPtr connection(attempt->connection);
  if (xcb_connection_has_error(connection.get()) != 0) return nullptr;
  return connection;
}

ServerDeadline::ServerDeadline(xcb_connection_t* connection, std::chrono::milliseconds wait) {
  thread_ = std::thread([this, connection, wait] {
    std::unique_lock<std::mutex> lock(mutex_);
    if (disarmed_.wait_for(lock, wait, [this] { return done_; })) return;
    passed_ = true;
    ::shutdown(xcb_get_file_descriptor(connection), SHUT_RDWR);
  });
}

ServerDeadline::~ServerDeadline() {
  {
    std::lock_guard<std::mutex> guard(mutex_);
    done_ = true;
  }
  disarmed_.notify_all();
  thread_.join();
}

bool ServerDeadline::passed() {
  std::lock_guard<std::mutex> guard(mutex_);
  return passed_;
}

}  // namespace virelo::client
