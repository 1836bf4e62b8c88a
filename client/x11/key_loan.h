// Keys of the X server lent to keysyms: a key's core keyboard mapping changed to give a keysym on
// every level, and given back as it was. What is lent is written down in a record file before the
// mapping changes and the file is removed once every key is given back, so that after a crash the
// next loan (or restoreBorrowedKeys) gives the keys back first.
//
// One loan of a display at a time: a loan holds the display's lock (loan_record.h) from its
// construction to its end, and a second one waits for it there, so that it neither takes the
// first one's live record for a leftover nor lends keys that the first one has lent. Each X
// request waits at most kReplyWait (x11_connection.h) for the server.
//
// The keys are the spare function keys that both backends post (kBorrowedKeys, x11.h). A key
// lent to one keysym keeps it while the text goes on; a key is lent anew (to another keysym), and
// all are given back, only when kSettle has passed since it was last pressed: an application
// translates a key event with the keymap it has when it reads the event, so the keymap must not
// change before the applications have read it.
//
// Threads: one thread uses an object.
#pragma once

#include <xcb/xcb.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "loan_record.h"

namespace virelo::client {

class KeyLoan {
 public:
  static constexpr std::chrono::milliseconds kSettle{100};

  // A lent key: the usage the service presses and the X key code it arrives as.
  struct Key {
    int usage = 0;
    std::uint8_t keycode = 0;
  };

  // Borrows keys of the server on `connection` (named `display` in the record at `record`), once
  // no other loan of the display is live (waiting for it). Gives back first what the record says
  // a loan that died left lent. Throws Error when the record's directory fails its check.
  KeyLoan(xcb_connection_t* connection, std::string display, const std::string& record);
  // Gives the keys back when they are still lent.
  ~KeyLoan();
  KeyLoan(const KeyLoan&) = delete;
  KeyLoan& operator=(const KeyLoan&) = delete;

  // A key that gives `keysym`, lent now if need be, once the server has applied the change.
  Key lend(std::uint32_t keysym);
  // Says that the key was pressed and released now.
  void pressed(const Key& key);
  // Restores the keys' own keysyms (after kSettle) and removes the record.
  void giveBack();
  // Marks the loan as kept across calls (a key held down until a later call): until it ends, a
  // new loan of its record in this process throws Error instead of waiting for the lock that this
  // very process holds.
  void keepAcrossCalls();

  // Gives back what `record` (whose lock the caller holds) says is lent on `display`, through
  // `connection`, and removes it; true when there was something to give back.
  static bool restoreLeftovers(xcb_connection_t* connection, const std::string& display,
                               LoanRecord& record);

 private:
  struct Slot {
    Key key;
    std::vector<std::uint32_t> own;  // the key's keysyms, per level
    std::uint32_t keysym = 0;        // lent to; 0: not lent
    std::chrono::steady_clock::time_point used;
  };
  void settle(const Slot& slot) const;

  xcb_connection_t* connection_;
  std::string display_;
  std::string recordPath_;
  bool kept_ = false;
  LoanRecord record_;
  std::vector<Slot> slots_;
  bool recorded_ = false;
  std::size_t next_ = 0;  // the slot to lend anew next, in turn
};

}  // namespace virelo::client
