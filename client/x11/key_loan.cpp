#include "key_loan.h"

#include <algorithm>
#include <mutex>
#include <set>
#include <sstream>
#include <thread>

#include "virelo/client/errors.h"
#include "virelo/client/x11.h"
#include "x11_connection.h"

namespace virelo::client {
namespace {

const char* const kServerLost = "the X server stopped answering while a key was borrowed";

// The key's keysyms, per level (at least one).
std::vector<std::uint32_t> mappingOf(xcb_connection_t* connection, std::uint8_t keycode) {
  auto reply = awaitReply<xcb_get_keyboard_mapping_reply_t>(
      connection, xcb_get_keyboard_mapping(connection, keycode, 1).sequence);
  if (!reply) throw Error("the X server did not give its keyboard mapping");
  const xcb_keysym_t* keysyms = xcb_get_keyboard_mapping_keysyms(reply.get());
  const int levels = reply->keysyms_per_keycode;
  std::vector<std::uint32_t> own(static_cast<std::size_t>(std::max(levels, 1)), 0);
  std::copy(keysyms, keysyms + levels, own.begin());
  return own;
}

// Sets the key's keysyms and waits for the server to have applied them (a round trip: requests
// are handled in order, and the keymap changes before the reply).
void setMapping(xcb_connection_t* connection, std::uint8_t keycode,
                const std::vector<std::uint32_t>& keysyms) {
  xcb_change_keyboard_mapping(connection, 1, keycode, static_cast<std::uint8_t>(keysyms.size()),
                              keysyms.data());
  if (!awaitReply<xcb_get_input_focus_reply_t>(connection,
                                               xcb_get_input_focus(connection).sequence)) {
    throw Error(kServerLost);
  }
}

// The records of the loans that this process keeps across calls (keepAcrossCalls()).
struct KeptLoans {
  std::mutex lock;
  std::set<std::string> records;
};

KeptLoans& keptLoans() {
  static KeptLoans kept;
  return kept;
}

bool isBorrowedKey(int keycode) {
  return std::any_of(std::begin(kBorrowedKeys), std::end(kBorrowedKeys),
                     [keycode](const BorrowedKey& key) { return key.keycode == keycode; });
}

}  // namespace

KeyLoan::KeyLoan(xcb_connection_t* connection, std::string display, const std::string& record)
    : connection_(connection),
      display_(std::move(display)),
      recordPath_(record),
      record_(record, true) {
  {
    KeptLoans& kept = keptLoans();
    std::lock_guard<std::mutex> hold(kept.lock);
    if (kept.records.count(record) != 0) {
      throw Error("a key borrowed on " + display_ +
                  " is held down by this process; release it before borrowing another");
    }
  }
  // Waits while another borrower of the display lends keys; what a record says now, a borrower
  // that died left lent.
  record_.lock();
  restoreLeftovers(connection_, display_, record_);
  for (const auto& [usage, keycode] : kBorrowedKeys) {
    Slot slot;
    slot.key = {usage, keycode};
    slot.own = mappingOf(connection_, keycode);
    slots_.push_back(std::move(slot));
  }
}

KeyLoan::~KeyLoan() {
  try {
    giveBack();
  } catch (const std::exception&) {
    // The record stays, and the next loan gives the keys back.
  }
  if (kept_) {
    KeptLoans& kept = keptLoans();
    std::lock_guard<std::mutex> hold(kept.lock);
    kept.records.erase(recordPath_);
  }
}

void KeyLoan::keepAcrossCalls() {
  KeptLoans& kept = keptLoans();
  std::lock_guard<std::mutex> hold(kept.lock);
  kept.records.insert(recordPath_);
  kept_ = true;
}

void KeyLoan::settle(const Slot& slot) const {
  std::this_thread::sleep_until(slot.used + kSettle);
}

KeyLoan::Key KeyLoan::lend(std::uint32_t keysym) {
  for (const Slot& slot : slots_) {
    if (slot.keysym == keysym) return slot.key;
  }
  if (!recorded_) {
    // One line per key: the display, the key code and the key's own keysyms, in hexadecimal.
    std::ostringstream lines;
    for (const Slot& slot : slots_) {
      lines << display_ << ' ' << std::hex << static_cast<int>(slot.key.keycode);
      for (std::uint32_t own : slot.own) lines << ' ' << own;
      lines << '\n';
    }
    record_.write(lines.str());
    recorded_ = true;
  }
  Slot& slot = slots_[next_];
  next_ = (next_ + 1) % slots_.size();
  settle(slot);
  slot.keysym = keysym;
  setMapping(connection_, slot.key.keycode, std::vector<std::uint32_t>(slot.own.size(), keysym));
  return slot.key;
}

void KeyLoan::pressed(const Key& key) {
  for (Slot& slot : slots_) {
    if (slot.key.keycode == key.keycode) slot.used = std::chrono::steady_clock::now();
  }
}

void KeyLoan::giveBack() {
  for (Slot& slot : slots_) {
    if (slot.keysym == 0) continue;
    settle(slot);
    setMapping(connection_, slot.key.keycode, slot.own);
    slot.keysym = 0;
  }
  if (recorded_) record_.remove();
  recorded_ = false;
}

bool KeyLoan::restoreLeftovers(xcb_connection_t* connection, const std::string& display,
                               LoanRecord& record) {
  const std::optional<std::string> text = record.read();
  if (!text) return false;
  std::istringstream in(*text);
  bool restored = false;
  for (std::string line; std::getline(in, line);) {
    std::istringstream words(line);
    std::string recordedDisplay;
    int keycode = 0;
    // The record is the server's, whichever name of it its writer used (":0", ":0.0", ...).
    if (!(words >> recordedDisplay >> std::hex >> keycode) ||
        serverName(recordedDisplay) != serverName(display)) {
      continue;
    }
    std::vector<std::uint32_t> own;
    for (std::uint32_t keysym = 0; words >> keysym && own.size() <= 255;) own.push_back(keysym);
    // Only the keys that borrowers lend are ever given back.
    if (!isBorrowedKey(keycode) || own.empty() || own.size() > 255) continue;
    setMapping(connection, static_cast<std::uint8_t>(keycode), own);
    restored = true;
  }
  record.remove();
  return restored;
}

}  // namespace virelo::client
