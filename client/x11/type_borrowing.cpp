// Typing with borrowed keys: the text in runs that the layout types and characters that a key of
// the X server lent to their keysym types.
#include <xkbcommon/xkbcommon.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "backend_keys.h"
#include "key_loan.h"
#include "utf8.h"
#include "virelo/client/errors.h"
#include "virelo/client/x11.h"
#include "x11_connection.h"

namespace virelo::client {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// How long the borrowed key's press or release may take to show in the server.
constexpr auto kArrival = 2s;

// A stretch of the text: a run the layout types, or one character typed with a borrowed key.
struct Piece {
  std::size_t start = 0;
  std::size_t end = 0;
  std::uint32_t keysym = 0;  // 0: typed with the layout
};

bool layoutTypes(char32_t c, const KeyboardLayout& layout, const std::string& backend) {
  const std::vector<Keystroke>* strokes = layout.keystrokes(c);
  if (strokes == nullptr) return false;
  for (const Keystroke& stroke : *strokes) {
    if (!backendPosts(backend, stroke.usage)) return false;
  }
  return true;
}

// The keysym a borrowed key types `c` with, or 0 when none should: control characters and bytes
// that are not UTF-8 (decoded as U+FFFD from fewer than its three bytes).
std::uint32_t borrowedKeysym(char32_t c, std::size_t length) {
  if (c < 0x20 || (c >= 0x7F && c < 0xA0)) return 0;
  if (c == kInvalidCharacter && length != 3) return 0;
  return xkb_utf32_to_keysym(c);
}

// Splits the text; characters that neither the layout nor a borrowed key can type go to
// `refused`, and so do borrowed ones when `canBorrow` is false.
std::vector<Piece> piecesOf(std::string_view text, const KeyboardLayout& layout,
                            const std::string& backend, bool canBorrow,
                            std::vector<UntypableCharacter>& refused) {
  std::vector<Piece> pieces;
  std::size_t offset = 0;
  while (offset < text.size()) {
    const std::size_t start = offset;
    const char32_t c = decodeUtf8(text, offset);
    if (c != kInvalidCharacter && layoutTypes(c, layout, backend)) {
      if (!pieces.empty() && pieces.back().keysym == 0) {
        pieces.back().end = offset;
      } else {
        pieces.push_back({start, offset, 0});
      }
      continue;
    }
    const std::uint32_t keysym = borrowedKeysym(c, offset - start);
    if (keysym == 0 || !canBorrow) {
      refused.push_back({c, start});
    } else {
      pieces.push_back({start, offset, keysym});
    }
  }
  return pieces;
}

// A server that does not complete the connection in time (stopped, or grabbed) answers no more
// than one that is not there.
bool serverAnswers(const std::optional<std::string>& display) {
  try {
    return display && connectX(display->c_str()) != nullptr;
  } catch (const XServerSilent&) {
    return false;
  }
}

bool keyDown(xcb_connection_t* connection, std::uint8_t keycode) {
  auto reply =
      awaitReply<xcb_query_keymap_reply_t>(connection, xcb_query_keymap(connection).sequence);
  if (!reply) throw Error("the X server stopped answering while a key was borrowed");
  return (reply->keys[keycode / 8] & (1u << (keycode % 8))) != 0;
}

// The service posts over its own connection (or through the kernel): wait until the server has
// the key in the state `down`, so that the keymap does not change under the keystroke.
void awaitKey(xcb_connection_t* connection, std::uint8_t keycode, bool down) {
  const auto deadline = Clock::now() + kArrival;
  while (keyDown(connection, keycode) != down) {
    if (Clock::now() > deadline) {
      throw Error(std::string("the borrowed key's ") + (down ? "press" : "release") +
                  " did not reach the X server");
    }
    std::this_thread::sleep_for(1ms);
  }
}

// What a borrowed key's chord pressed, let go as far as the client still can.
void letGo(Client& client, int usage, int modifiers) {
  try {
    client.releaseKey(usage);
    if (modifiers != 0) client.releaseModifiers(modifiers);
  } catch (const Error&) {
  }
}

}  // namespace

std::optional<std::string> borrowingDisplay(const EnvironmentLookup& environment,
                                            const std::string& backend) {
  try {
    return pointerDisplay(environment, backend);  // the same rule as for the pointer
  } catch (const PointerUnknown&) {
    return std::nullopt;
  }
}

std::optional<std::string> borrowingDisplay(const EnvironmentLookup& environment,
                                            const std::string& backend, const std::string& host) {
  if (host == "gnome" || host == "kde" || host == "wlroots") return std::nullopt;
  return borrowingDisplay(environment, backend);
}

std::string borrowedKeysRecord(const EnvironmentLookup& environment, const std::string& display) {
  std::string name = "borrowed-keys-" + serverName(display);
  for (char& c : name) {
    if (c == ':' || c == '/') c = '_';
  }
  const char* runtime = environment("XDG_RUNTIME_DIR");
  if (runtime != nullptr && *runtime != '\0') return std::string(runtime) + "/virelo/" + name;
  return "/tmp/virelo-" + std::to_string(::geteuid()) + "/" + name;
}

bool borrowingCovers(std::string_view text, const KeyboardLayout& layout,
                     const std::optional<std::string>& display) {
  std::vector<UntypableCharacter> refused;
  auto pieces = piecesOf(text, layout, "", true, refused);
  if (!refused.empty()) return false;
  for (const Piece& piece : pieces) {
    if (piece.keysym != 0) return serverAnswers(display);
  }
  return true;
}

bool restoreBorrowedKeys(const std::string& display, const std::string& record) {
  LoanRecord leftovers(record, false);
  // A record whose lock another process holds is that live borrower's.
  if (!leftovers.tryLock() || !leftovers.exists()) return false;
  XcbConnectionPtr connection = connectX(display.c_str());
  if (!connection) return false;
  return KeyLoan::restoreLeftovers(connection.get(), display, leftovers);
}

void typeTextBorrowing(Client& client, std::string_view text, const KeyboardLayout& layout,
                       const std::optional<std::string>& display, TypePacing pacing,
                       const std::string& record) {
  std::vector<UntypableCharacter> refused;
  std::vector<Piece> pieces =
      piecesOf(text, layout, client.backend(), display.has_value(), refused);
  const bool borrows =
      std::any_of(pieces.begin(), pieces.end(), [](const Piece& p) { return p.keysym != 0; });
  // The server is asked only when the text needs it, or to give back what a crash left lent.
  XcbConnectionPtr connection;
  if (display && refused.empty()) {
    if (borrows) {
      connection = connectX(display->c_str());
    } else {
      // Only a courtesy to the next borrower: a text without borrowed keys does not need it.
      try {
        restoreBorrowedKeys(*display, record);
      } catch (const XServerSilent&) {
      }
    }
  }
  if (borrows && !connection) {
    refused.clear();
    pieces = piecesOf(text, layout, client.backend(), false, refused);
  }
  if (!refused.empty()) {
    std::string where = layout.description();
    if (borrows && !connection) where += " (and no X server answers to borrow a key)";
    throw UntypableText(std::move(refused), where);
  }
  // Before anything is typed: waits for another borrower of the display, and checks the record.
  std::optional<KeyLoan> loan;
  if (borrows) loan.emplace(connection.get(), *display, record);
  bool first = true;
  for (const Piece& piece : pieces) {
    if (!first && pacing.delay.count() > 0) std::this_thread::sleep_for(pacing.delay);
    first = false;
    if (piece.keysym == 0) {
      typeText(client, text.substr(piece.start, piece.end - piece.start), layout, pacing);
      continue;
    }
    const KeyLoan::Key key = loan->lend(piece.keysym);
    client.pressKey(key.usage);
    awaitKey(connection.get(), key.keycode, true);
    if (pacing.hold.count() > 0) std::this_thread::sleep_for(pacing.hold);
    client.releaseKey(key.usage);
    awaitKey(connection.get(), key.keycode, false);
    loan->pressed(key);
  }
  if (loan) loan->giveBack();
}

std::optional<std::uint32_t> keysymNamed(std::string_view name) {
  const std::string text(name);
  xkb_keysym_t keysym = xkb_keysym_from_name(text.c_str(), XKB_KEYSYM_NO_FLAGS);
  if (keysym == XKB_KEY_NoSymbol)
    keysym = xkb_keysym_from_name(text.c_str(), XKB_KEYSYM_CASE_INSENSITIVE);
  if (keysym == XKB_KEY_NoSymbol) return std::nullopt;
  return keysym;
}

// A key of the display lent to a keysym, with the X connection that watches it.
struct BorrowedKeyHold::Loan {
  Loan(const std::string& display, const std::string& record)
      : connection(connected(display)), loan(connection.get(), display, record) {}
  static XcbConnectionPtr connected(const std::string& display) {
    XcbConnectionPtr connection = connectX(display.c_str());
    if (!connection) throw Error("no X server answers on \"" + display + "\" to borrow a key");
    return connection;
  }

  // Presses the modifiers and the key lent to the keysym; on a failure, lets go of them.
  void press(Client& client, const KeysymChord& chord) {
    key = loan.lend(chord.keysym);
    try {
      if (chord.modifiers != 0) client.pressModifiers(chord.modifiers);
      client.pressKey(key.usage);
      awaitKey(connection.get(), key.keycode, true);
    } catch (...) {
      letGo(client, key.usage, chord.modifiers);
      throw;
    }
  }
  // Lets go of the key and the modifiers, and gives the key back; the loan's end gives it back
  // when the release fails.
  void release(Client& client, const KeysymChord& chord) {
    try {
      client.releaseKey(key.usage);
      awaitKey(connection.get(), key.keycode, false);
      if (chord.modifiers != 0) client.releaseModifiers(chord.modifiers);
    } catch (...) {
      letGo(client, key.usage, chord.modifiers);
      throw;
    }
    loan.pressed(key);
    loan.giveBack();
  }

  XcbConnectionPtr connection;
  KeyLoan loan;
  KeyLoan::Key key;
};

BorrowedKeyHold::BorrowedKeyHold(Client& client, const KeysymChord& chord,
                                 const std::string& display, const std::string& record)
    : client_(client), chord_(chord) {
  auto loan = std::make_unique<Loan>(display, record);
  loan->press(client, chord);
  loan->loan.keepAcrossCalls();
  loan_ = std::move(loan);
}

BorrowedKeyHold::~BorrowedKeyHold() {
  try {
    release();
  } catch (const std::exception&) {
    // The record stays where the key could not be given back, for the next borrowing.
  }
}

void BorrowedKeyHold::release() {
  if (!loan_) return;
  const std::unique_ptr<Loan> loan = std::move(loan_);  // ends with this call, however it goes
  loan->release(client_, chord_);
}

// The hold's press and release within one call, which other borrowers of this process wait for.
void pressKeysymBorrowing(Client& client, std::uint32_t keysym, int modifiers,
                          const std::string& display, const std::string& record) {
  const KeysymChord chord{modifiers, keysym};
  BorrowedKeyHold::Loan loan(display, record);
  loan.press(client, chord);
  loan.release(client, chord);
}

}  // namespace virelo::client
