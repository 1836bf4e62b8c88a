// The baseline of the X11 figures: a bare XTEST client that posts key events straight to the X
// server, flushing each one, with nothing in between.
//
// Threads: one thread uses an object.
#pragma once

#include <string>
#include <string_view>

struct xcb_connection_t;

namespace virelo::bench {

class XtestPoster {
 public:
  // Connects to the display; throws std::runtime_error when it cannot or XTEST is missing.
  explicit XtestPoster(const std::string& display);
  ~XtestPoster();
  XtestPoster(const XtestPoster&) = delete;
  XtestPoster& operator=(const XtestPoster&) = delete;

  // Posts a key press or release of the X key code and flushes.
  void key(int keycode, bool press);
  // Types the text with the US layout: the keys of the client library's US table (plus 8 for the
  // X key code), left shift held around the shifted ones.
  void type(std::string_view text);

 private:
  xcb_connection_t* connection_ = nullptr;
};

}  // namespace virelo::bench
