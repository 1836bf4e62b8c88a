// What the X server says and does (the library Virelo::x11, component X11, on libxkbcommon-x11
// and xcb): "the active layout", the keyboard layout the user is typing with; where the pointer
// is, the screen and its RandR monitors; absolute pointing: placing the pointer exactly on a
// position with the service's relative moves, reading where they took it and correcting; and
// typing characters the layout lacks by borrowing a key of the X server's keymap.
//
// Every wait for the X server is bounded: connecting waits at most 2 s, each reply at most 1 s,
// and reading the keymap at most 2 s. A server that accepts the connection but does not answer
// in that time (its process stopped, or another client has grabbed it) makes the functions below
// throw XServerSilent, naming the display; a display where no server is ("no server answers")
// is told apart and reported as each function says.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "virelo/client/layouts.h"
#include "virelo/client/session.h"

namespace virelo::client {

// The layout of the X server that $DISPLAY names, in its current group, when that server answers;
// otherwise the layout named by the XKB_DEFAULT_* variables; otherwise "us". Read anew on every
// call (the user may switch layouts); keep the result to type with it more than once. Throws
// UnknownLayout when the XKB_DEFAULT_* variables name a layout the XKB data does not have.
std::shared_ptr<const KeyboardLayout> activeLayout(const EnvironmentLookup& environment);

// The layout of the X server at `display` (an X display name such as ":1"), or nullptr when no
// server answers there or it has no keyboard extension. Throws XServerSilent (as does
// activeLayout) when a server there does not answer in time.
std::shared_ptr<const KeyboardLayout> x11Layout(const char* display);

// A position on the X server's root window, in pixels from its top left corner.
struct PointerPosition {
  int x = 0;
  int y = 0;

  bool operator==(const PointerPosition&) const = default;
};

// Where the pointer is on the screen of the X server at `display` (an X display name such as
// ":1"), or nullopt when no server answers there. One round trip; a new connection every call.
std::optional<PointerPosition> pointerPosition(const char* display);

// The extensions of the X server at `display` that input needs: XTEST (the service's window-server
// events), XInput 2 (watching the user's own keyboard) and XKB (layouts). nullopt when no server
// answers there; throws XServerSilent when one does not answer in time or stops answering.
struct ServerExtensions {
  bool xtest = false;
  bool xinput = false;
  bool xkb = false;
};
std::optional<ServerExtensions> serverExtensions(const char* display);

// A rectangle of the root window, in pixels: the whole screen or one RandR monitor.
struct ScreenArea {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;

  bool contains(PointerPosition p) const {
    return p.x >= x && p.y >= y && p.x < x + width && p.y < y + height;
  }
  bool operator==(const ScreenArea&) const = default;
};

// The whole root window of the X server at `display`, or nullopt when no server answers there.
std::optional<ScreenArea> screenArea(const char* display);

// The monitors of the X server at `display` as RandR lists them (GetMonitors, the active ones, in
// the server's order), numbered from 0 in that order; the whole screen as monitor 0 when the
// server has no RandR 1.5 or lists none. Empty when no server answers; throws XServerSilent when
// a server there does not answer in time.
std::vector<ScreenArea> monitors(const char* display);

// The X display on which a client of the service's `backend` ("corehid", "cgevent", or empty
// when no service is asked) can know where the pointer is: $DISPLAY. Throws PointerUnknown without
// $DISPLAY, and in a Wayland session ($WAYLAND_DISPLAY set or XDG_SESSION_TYPE=wayland) unless the
// backend is "cgevent" (which posts into the X server, XWayland there): the compositor moves the
// pointer of the virtual devices and tells no client where it is.
std::string pointerDisplay(const EnvironmentLookup& environment, const std::string& backend);

// How placePointer() reads and moves a pointer; the X server and the service in moveTo(), a
// stand-in in tests.
struct PointerDriver {
  // Where the pointer is once every move sent so far has taken effect; nullopt when it cannot be
  // read any more.
  std::function<std::optional<PointerPosition>()> position;
  // One relative move, each axis in [-127, 127].
  std::function<void(int dx, int dy)> move;
};

// How many times placePointer() reads the pointer and corrects before it gives up.
inline constexpr int kPlacementRounds = 8;

// Places the pointer exactly on `target`: reads where it is, sends the difference as relative
// moves of at most 127 per axis, reads again and corrects, up to `rounds` times. A pointer moved
// without acceleration (the "cgevent" backend) lands in one round; one that the server
// accelerates (the "corehid" backend's virtual mouse under libinput or the X server's own
// acceleration) comes closer with each correction, whose moves get smaller. Returns where the
// pointer is (== target). Throws PointerNotPlaced when it is still elsewhere after the last
// round, PointerUnknown when the position cannot be read.
PointerPosition placePointer(const PointerDriver& driver, PointerPosition target,
                             int rounds = kPlacementRounds);

// placePointer() with the X server at `display` (an X display name such as ":1") and the service
// that `client` talks to: the pointer read with QueryPointer, moved with the client's moves
// (without snapping), waiting after each round until the server shows the moves: it learns that
// from the XInput 2 raw motion events the moves cause (XInput 2.1 or later; without it, from
// readings until two agree). Motion beyond its own moves (another client's queued moves, a hand
// on the mouse) is read again once it has rested for 20 ms, for at most 2 s in all. The X
// connection is kept for the next call in the same process. Throws PointerUnknown when no server
// answers there, PointerNotPlaced, and the client's errors.
PointerPosition moveTo(Client& client, const char* display, PointerPosition target);

// Borrowed keys. A character that the layout cannot type (an emoji, CJK, a symbol) is typed on an
// X server by lending a spare key to the character's keysym for the keystroke: one of the keys
// below gets that keysym on every level through the core ChangeKeyboardMapping, the service
// presses and releases it, and the keys' own keysyms are restored when the text is typed. X
// applies its keymap to the XTEST events of "cgevent" and to the virtual devices of "corehid"
// alike. The keys are F19, F16, F17 and F18 (usages 0x6E, 0x6B-0x6D; X key codes = evdev
// KEY_F19, KEY_F16... + 8), which both backends post and which the usual keymaps leave without a
// keysym or give XF86Launch7-9; F20 is left alone, since desktops take it as the microphone's
// mute key.
struct BorrowedKey {
  int usage;
  std::uint8_t keycode;
};
inline constexpr BorrowedKey kBorrowedKeys[] = {{0x6E, 197}, {0x6B, 194}, {0x6C, 195}, {0x6D, 196}};

// The X display on which a client of `backend` can borrow keys: $DISPLAY, except in a Wayland
// session with a backend other than "cgevent" (the compositor's keymap decides there, not
// XWayland's); nullopt when there is none.
std::optional<std::string> borrowingDisplay(const EnvironmentLookup& environment,
                                            const std::string& backend);
// The same for a service on `host` (serviceHost() in session.h): on a compositor's host ("gnome",
// "kde", "wlroots") none, whatever the backend, since the compositor's keymap turns every key into
// a character there and XWayland's is not asked; so typeTextBorrowing() refuses what the layout
// cannot type, and pasteText() (layouts.h) is the way out. Any other host, or "" when it is not
// known, as above.
std::optional<std::string> borrowingDisplay(const EnvironmentLookup& environment,
                                            const std::string& backend, const std::string& host);

// Where a borrowing records the key it lent until it gives it back:
// $XDG_RUNTIME_DIR/virelo/borrowed-keys-DISPLAY (DISPLAY: the host and display number as X
// reads the name, without the screen, so ":0", ":0.0" and "unix:0" share one, with ":" as "_"), or
// /tmp/virelo-UID/borrowed-keys-DISPLAY without $XDG_RUNTIME_DIR. The directory is made with mode
// 0700 when missing and used only when it is a directory (not a link) that this user owns and no
// one else can read or write (no access for the group or others); the record is read only when it
// is a regular file of this user of at most 16 KiB, opened without following links. A record or
// directory that fails a check is ignored with a warning on standard error ("virelo: warning:
// ..."), and a borrowing refuses to lend keys without a directory that passes. Beside the record,
// borrowed-keys-DISPLAY.lock is the lock of the display's borrowers (typeTextBorrowing).
std::string borrowedKeysRecord(const EnvironmentLookup& environment, const std::string& display);

// Whether typeTextBorrowing() can type `text` with `layout` on `display`: every character the
// layout cannot type is a printable character with a keysym, and an X server answers there when
// one is needed.
bool borrowingCovers(std::string_view text, const KeyboardLayout& layout,
                     const std::optional<std::string>& display);

// Types `text` as typeText() does, and each character that the layout cannot type (or the backend
// cannot post: the ISO key with "cgevent") with a borrowed key of the X server at `display`. The
// whole text is checked first: without a display (nullopt), when no server answers, or for
// bytes that are not UTF-8 and control characters, UntypableText names them before anything is
// typed. Before it borrows it gives back a key that a crashed earlier borrowing left lent (as
// restoreBorrowedKeys); it gives the key back when the text is typed or typing fails (an error of
// the client, ...). If the process dies while the key is lent, the record file (`record`) keeps
// what to restore until the next use. Borrowers of one display take turns: from the start of a
// text that needs a borrowed key to its end a borrowing holds the lock beside the record
// (flock), and another borrowing waits there for it, so that both type exactly their text and a
// live borrowing's keys are neither restored nor lent again; the lock ends with the process that
// holds it, so what a record says once the lock is held was left by a borrowing that died. Throws
// Error before anything is typed when the text needs a borrowed key and the record's directory
// fails its check.
void typeTextBorrowing(Client& client, std::string_view text, const KeyboardLayout& layout,
                       const std::optional<std::string>& display, TypePacing pacing,
                       const std::string& record);

// The keysym of an X keysym name ("Hyper_L", "XF86Calculator", "dead_grave", "U2603",
// "0x1008ff1d"), exactly as named, else the one name that matches without regard to case; nullopt
// for a name that is no keysym.
std::optional<std::uint32_t> keysymNamed(std::string_view name);

// Presses and releases a key that gives `keysym`, with the modifiers (the bits of client.h's
// modifier::) held around it, through a borrowed key of the X server at `display`, as
// typeTextBorrowing() types a character: for keysyms that no key of the layout produces (Hyper_L
// where the layout has none, XF86Calculator, any keysym name). The same guarantees: the record
// (`record`) before the keymap changes, the key given back when it is released or the press fails,
// the display's lock held meanwhile. Throws XServerSilent, and Error when the record's directory
// fails its check or the key's press or release does not reach the server.
void pressKeysymBorrowing(Client& client, std::uint32_t keysym, int modifiers,
                          const std::string& display, const std::string& record);

// typeTextBorrowing() on the display and with the record that the environment names for the
// client's backend and the service's host (borrowingDisplay(), borrowedKeysRecord()): what
// "virelo type" and the bindings do. The host is the session's (serviceHost()) unless given.
void typeTextBorrowing(Client& client, std::string_view text, const KeyboardLayout& layout,
                       TypePacing pacing, const EnvironmentLookup& environment,
                       const std::optional<std::string>& host = std::nullopt);

// A chord whose key no key of the layout produces: its modifiers (modifier:: bits) and the keysym.
struct KeysymChord {
  int modifiers = 0;
  std::uint32_t keysym = 0;
};

// nullopt when parseChord(text, layout) takes the chord; else, when its last part is a keysym name
// (keysymNamed()) and the parts before it are modifiers, that keysym and those modifiers
// ("ctrl+XF86Calculator", "Hyper_L"); else throws what parseChord() throws.
std::optional<KeysymChord> keysymChord(std::string_view text, const KeyboardLayout& layout);

// pressKeysymBorrowing() on the display and with the record that the environment names for the
// client's backend. Throws Error when there is no such display.
void pressKeysymBorrowing(Client& client, const KeysymChord& chord,
                          const EnvironmentLookup& environment,
                          const std::optional<std::string>& host = std::nullopt);

// A keysym chord held down through a borrowed key, for as long as the object lives or until
// release(): pressKeysymBorrowing() in two halves, with the same guarantees. The constructor
// presses the modifiers (modifier:: bits) and the key lent to the keysym; release() lets go of them
// (the key, then the modifiers) and gives the key back, also when the release fails. The display's
// lock is held meanwhile, so other processes' borrowings of the display wait for the release; a
// borrowing of the same record in this process (typing, another hold) would wait for itself, and
// throws Error instead, saying that a borrowed key is held. Throws Error (no X server answers,
// the record's directory fails its check, the key's press does not reach the server, ...) with
// nothing held, and XServerSilent. `client` must outlive the object. Threads: one thread at a
// time uses an object.
class BorrowedKeyHold {
 public:
  BorrowedKeyHold(Client& client, const KeysymChord& chord, const std::string& display,
                  const std::string& record);
  // Releases and gives the key back when that is still to do; errors are swallowed (a key left
  // lent is given back by the next borrowing, from the record).
  ~BorrowedKeyHold();
  BorrowedKeyHold(const BorrowedKeyHold&) = delete;
  BorrowedKeyHold& operator=(const BorrowedKeyHold&) = delete;

  // Does nothing once done. Throws the client's errors and Error, with the key given back.
  void release();
  const KeysymChord& chord() const { return chord_; }

  // The lent key, pressed and released; pressKeysymBorrowing() uses it alone.
  struct Loan;

 private:
  Client& client_;
  KeysymChord chord_;
  std::unique_ptr<Loan> loan_;
};

// A BorrowedKeyHold on the display and with the record that the environment names for the
// client's backend and the service's host, as pressKeysymBorrowing() above. Throws Error when
// there is no such display, and what the hold throws.
std::unique_ptr<BorrowedKeyHold> holdKeysymBorrowing(
    Client& client, const KeysymChord& chord, const EnvironmentLookup& environment,
    const std::optional<std::string>& host = std::nullopt);

// moveTo() on the X server that the environment names for the client's backend
// (pointerDisplay()), refusing a target off its screen. Throws PointerUnknown, and Error for a
// target off the screen, and as moveTo().
PointerPosition moveToOnScreen(Client& client, const EnvironmentLookup& environment,
                               PointerPosition target);

// Gives back what the record says a borrowing on `display` left lent; true when it restored a
// key. False when there is no record, another live process holds the display's lock (the record
// is its own), the record fails a check (warned about), or no server answers.
bool restoreBorrowedKeys(const std::string& display, const std::string& record);

}  // namespace virelo::client
