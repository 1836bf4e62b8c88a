// Every error the client library throws, in one hierarchy: Error is the base, so that a caller can
// catch them all at once.
//   Connection and commands (client.h):  ConnectionLost, ProtocolError, ServiceNotReady
//   Session discovery (session.h):       NoSession, UntrustedService
//   The launcher (launcher.h):           LaunchFailed, ServiceRefused, ServiceExitedSilently
//   Key names (keys.h):                  UnknownKeyName
//   Keyboard layouts (layouts.h):        UnknownLayout, UntypableText
//   The X server (x11.h):                PointerUnknown, PointerNotPlaced, XServerSilent
//   Windows (windows.h):                 WindowsUnavailable, NoSuchWindow,
//                                        WindowRequestUnsupported, WindowNotActivated
//   Controls (controls.h):               ControlsUnavailable, UnknownRole, MalformedExpression,
//                                        NoSuchControl, AmbiguousControl, ControlNotActionable,
//                                        WaitTimedOut
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace virelo::client {

class Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The connection to the service could not be made, broke, or ended before a reply arrived. The
// service releases everything a client held when its connection ends.
class ConnectionLost : public Error {
 public:
  using Error::Error;
};

// The service answered a command with its protocol-error reply ("virtual_hid_protocol_error"):
// the command was malformed, out of range, sent before "hello", or the token was wrong. The service
// closes the connection after this reply and releases everything the client held.
class ProtocolError : public Error {
 public:
  ProtocolError(std::string command, std::string reply)
      : Error("the service rejected \"" + command + "\": " + reply),
        command_(std::move(command)),
        reply_(std::move(reply)) {}

  // The name of the command that was rejected ("hello", "keyboard", ...).
  const std::string& command() const { return command_; }
  // The reply line as the service sent it.
  const std::string& reply() const { return reply_; }

 private:
  std::string command_;
  std::string reply_;
};

// The service is running but cannot deliver input right now; it answered a command with its status
// object carrying "ok": false and an error code (for example "virtual_hid_not_ready"). The service
// has cleared this client's input state.
class ServiceNotReady : public Error {
 public:
  explicit ServiceNotReady(std::string code)
      : Error("the service is not ready: " + code), code_(std::move(code)) {}

  const std::string& code() const { return code_; }

 private:
  std::string code_;
};

// No session could be found; the message says what is missing and how to start one.
class NoSession : public Error {
 public:
  using Error::Error;
};

// The session's files, or the service behind a socket, may be another user's: a directory or file
// of the session is not the user's own or others can write it, or the process listening on the
// socket runs as another user. The message names the file or socket and what is wrong with it.
// Nothing was sent to that service: neither the token nor any input.
class UntrustedService : public Error {
 public:
  using Error::Error;
};

// The launcher could not start the service or did not see it become ready: a system call failed,
// the binary could not be run, the user to run as does not exist, or no event arrived in time.
class LaunchFailed : public Error {
 public:
  using Error::Error;
};

// The service refused to start and said why with a failure event on its standard output, for
// example "virtual_hid_authorization_required" or "virtual_hid_protocol_error". It then exited.
class ServiceRefused : public Error {
 public:
  ServiceRefused(std::string code, int exitStatus)
      : Error("the service refused to start: " + code),
        code_(std::move(code)),
        exitStatus_(exitStatus) {}

  // The service's error code from the failure event.
  const std::string& code() const { return code_; }
  // The exit status of the service (0 for every start refusal), or -1 when it was not seen.
  int exitStatus() const { return exitStatus_; }

 private:
  std::string code_;
  int exitStatus_;
};

// The service ended without writing any event. It does this when its command line is malformed
// (wrong options or an unknown backend name), so this usually means the launcher was given a
// backend name the service does not know.
class ServiceExitedSilently : public Error {
 public:
  explicit ServiceExitedSilently(int exitStatus)
      : Error("the service exited with status " + std::to_string(exitStatus) +
              " without a status event (malformed command line?)"),
        exitStatus_(exitStatus) {}

  int exitStatus() const { return exitStatus_; }

 private:
  int exitStatus_;
};

// A key, modifier, media key or button name that the library does not know.
class UnknownKeyName : public Error {
 public:
  explicit UnknownKeyName(std::string name)
      : Error("unknown key name \"" + name + "\""), name_(std::move(name)) {}

  const std::string& name() const { return name_; }

 private:
  std::string name_;
};

// A keyboard layout that cannot be used: malformed, or not known to the XKB data.
class UnknownLayout : public Error {
 public:
  explicit UnknownLayout(std::string layout)
      : Error("unknown keyboard layout \"" + layout + "\""), layout_(std::move(layout)) {}

  const std::string& layout() const { return layout_; }

 private:
  std::string layout_;
};

// One character of a text that cannot be typed, as a Unicode code point (U+FFFD for bytes that
// are not valid UTF-8), with its byte offset in the text.
struct UntypableCharacter {
  char32_t character = 0;
  std::size_t offset = 0;

  bool operator==(const UntypableCharacter&) const = default;
};

// typeText() was given characters that the keyboard layout cannot type. Nothing was sent.
class UntypableText : public Error {
 public:
  // `characters` is not empty; `layout` names the layout in the message.
  UntypableText(std::vector<UntypableCharacter> characters, const std::string& layout)
      : Error(describe(characters, layout)), characters_(std::move(characters)) {}

  // Every character that cannot be typed, in the order of the text.
  const std::vector<UntypableCharacter>& characters() const { return characters_; }
  // The first of them and its offset.
  char32_t character() const { return characters_.front().character; }
  std::size_t offset() const { return characters_.front().offset; }

 private:
  static std::string codePoint(char32_t c) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string hex;
    for (int shift = 20; shift >= 0; shift -= 4) hex.push_back(digits[(c >> shift) & 0xF]);
    while (hex.size() > 4 && hex.front() == '0') hex.erase(0, 1);
    return "U+" + hex;
  }
  static std::string describe(const std::vector<UntypableCharacter>& characters,
                              const std::string& layout) {
    std::string text = "cannot type ";
    for (std::size_t i = 0; i < characters.size(); ++i) {
      if (i != 0) text += ", ";
      text += codePoint(characters[i].character) + " (byte offset " +
              std::to_string(characters[i].offset) + ")";
    }
    return text + " with the keyboard layout " + layout;
  }

  std::vector<UntypableCharacter> characters_;
};

// Where the pointer is cannot be known here: no X server answers, or the session is a Wayland
// session whose compositor moves the pointer and tells no client where it is. The message says
// which. Nothing was sent.
class PointerUnknown : public Error {
 public:
  using Error::Error;
};

// An X server accepted the connection but did not answer within the bound of the library's waits
// (x11.h): a stopped server process, or one that another client has grabbed. The message names
// the display.
class XServerSilent : public Error {
 public:
  using Error::Error;
};

// The pointer did not land on the position asked for within the bounded number of corrections
// (pointer acceleration that keeps overshooting, a position the pointer cannot reach, another
// hand on the mouse). It was left where it stopped.
class PointerNotPlaced : public Error {
 public:
  PointerNotPlaced(int targetX, int targetY, int reachedX, int reachedY)
      : Error("could not place the pointer at (" + std::to_string(targetX) + ", " +
              std::to_string(targetY) + "): it stopped at (" + std::to_string(reachedX) + ", " +
              std::to_string(reachedY) + ")"),
        target_{targetX, targetY},
        reached_{reachedX, reachedY} {}

  int targetX() const { return target_[0]; }
  int targetY() const { return target_[1]; }
  int reachedX() const { return reached_[0]; }
  int reachedY() const { return reached_[1]; }

 private:
  int target_[2];
  int reached_[2];
};

// The windows of an X desktop cannot be read here: no X server answers on the display, or its
// window manager publishes no list of windows (_NET_CLIENT_LIST). The message says which.
class WindowsUnavailable : public Error {
 public:
  using Error::Error;
};

// No window of the window manager's list has the id asked for.
class NoSuchWindow : public Error {
 public:
  using Error::Error;
};

// The window manager offers no such request (its _NET_SUPPORTED lacks it); the message names it.
// Nothing was sent.
class WindowRequestUnsupported : public Error {
 public:
  using Error::Error;
};

// The window manager was asked to activate the window but did not within the wait.
class WindowNotActivated : public Error {
 public:
  using Error::Error;
};

// The desktop's controls cannot be read here; the message says what is missing and, when the
// user's setting switched the accessibility bus off, the command that switches it on.
class ControlsUnavailable : public Error {
 public:
  using Error::Error;
};

// A role name that AT-SPI does not know.
class UnknownRole : public Error {
 public:
  using Error::Error;
};

// A regular expression for names (NameMatch::matching) that RE2 does not take; the message says
// what is wrong with it.
class MalformedExpression : public Error {
 public:
  using Error::Error;
};

// No control matches. The message names the applications that did not answer.
class NoSuchControl : public Error {
 public:
  using Error::Error;
};

// Several controls match and none was asked to be taken; `candidates` describes each, one line
// each, front-most first. Nothing was sent.
class AmbiguousControl : public Error {
 public:
  AmbiguousControl(const std::string& message, std::vector<std::string> candidates)
      : Error(message), candidates_(std::move(candidates)) {}
  const std::vector<std::string>& candidates() const { return candidates_; }

 private:
  std::vector<std::string> candidates_;
};

// The control cannot be acted on: it is disabled, not visible, off the screen, covered by another
// window, did not take the focus, or has not the action asked for or refused it. Nothing was
// clicked unless the message says so.
class ControlNotActionable : public Error {
 public:
  using Error::Error;
};

// waitFor() saw no change to what it waits for before its time ran out.
class WaitTimedOut : public Error {
 public:
  using Error::Error;
};

}  // namespace virelo::client
