#include "key_loan.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "virelo/client/errors.h"
#include "virelo/client/x11.h"

namespace virelo::client {
namespace {

std::vector<std::uint32_t> mappingOf(xcb_connection_t* connection, std::uint8_t keycode) {
  xcb_get_keyboard_mapping_reply_t* reply = xcb_get_keyboard_mapping_reply(
      connection, xcb_get_keyboard_mapping(connection, keycode, 1), nullptr);
  if (reply == nullptr) throw Error("the X server did not give its keyboard mapping");
  const xcb_keysym_t* keysyms = xcb_get_keyboard_mapping_keysyms(reply);
  std::vector<std::uint32_t> own(keysyms, keysyms + reply->keysyms_per_keycode);
  std::free(reply);
  return own;
}

// Sets the key's keysyms and waits for the server to have applied them (a round trip: requests
// are handled in order, and the keymap changes before the reply).
void setMapping(xcb_connection_t* connection, std::uint8_t keycode,
                const std::vector<std::uint32_t>& keysyms) {
  xcb_change_keyboard_mapping(connection, 1, keycode, static_cast<std::uint8_t>(keysyms.size()),
                              keysyms.data());
  xcb_get_input_focus_reply_t* reply =
      xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr);
  if (reply == nullptr) throw Error("the X server went away while a key was borrowed");
  std::free(reply);
}

// One line per key: the display, the key code and the key's own keysyms, in hexadecimal.
void writeRecord(const std::string& record, const std::string& text) {
  const std::filesystem::path path(record);
  // A directory of this user's alone (in /tmp another user could have made it first).
  std::error_code ignored;
  if (std::filesystem::create_directories(path.parent_path(), ignored)) {
    std::filesystem::permissions(path.parent_path(), std::filesystem::perms::owner_all, ignored);
  }
  struct stat parent {};
  if (::lstat(path.parent_path().c_str(), &parent) != 0 || !S_ISDIR(parent.st_mode) ||
      parent.st_uid != ::geteuid()) {
    throw Error("cannot record a borrowed key in " + path.parent_path().string() +
                " (not a directory of this user); nothing was borrowed");
  }
  const std::string temporary = record + ".new";
  const int fd =
      ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
  const bool written = fd >= 0 &&
                       ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) &&
                       ::fsync(fd) == 0;
  if (fd >= 0) ::close(fd);
  if (!written || ::rename(temporary.c_str(), record.c_str()) != 0) {
    ::unlink(temporary.c_str());
    throw Error("cannot write " + record + ", which records borrowed keys; nothing was borrowed");
  }
}

}  // namespace

KeyLoan::KeyLoan(xcb_connection_t* connection, std::string display, std::string record)
    : connection_(connection), display_(std::move(display)), record_(std::move(record)) {
  restoreRecorded(connection_, display_, record_);
  for (const auto& [usage, keycode] : kBorrowedKeys) {
    Slot slot;
    slot.key = {usage, keycode};
    // A key without keysyms is given back as NoSymbol. (Built as a new vector: GCC 14 takes a
    // push_back onto the returned one for a free of a non-heap pointer, -Wfree-nonheap-object.)
    std::vector<std::uint32_t> own = mappingOf(connection_, keycode);
    slot.own = own.empty() ? std::vector<std::uint32_t>{0} : std::move(own);
    slots_.push_back(std::move(slot));
  }
}

KeyLoan::~KeyLoan() {
  try {
    giveBack();
  } catch (const std::exception&) {
    // The record stays, and the next loan gives the keys back.
  }
}

void KeyLoan::settle(const Slot& slot) const {
  std::this_thread::sleep_until(slot.used + kSettle);
}

KeyLoan::Key KeyLoan::lend(std::uint32_t keysym) {
  for (const Slot& slot : slots_) {
    if (slot.keysym == keysym) return slot.key;
  }
  if (!recorded_) {
    std::ostringstream lines;
    for (const Slot& slot : slots_) {
      lines << display_ << ' ' << std::hex << static_cast<int>(slot.key.keycode);
      for (std::uint32_t own : slot.own) lines << ' ' << own;
      lines << '\n';
    }
    writeRecord(record_, lines.str());
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
  if (recorded_) ::unlink(record_.c_str());
  recorded_ = false;
}

bool KeyLoan::restoreRecorded(xcb_connection_t* connection, const std::string& display,
                              const std::string& record) {
  std::ifstream in(record);
  bool restored = false;
  for (std::string line; std::getline(in, line);) {
    std::istringstream words(line);
    std::string recordedDisplay;
    int keycode = 0;
    if (!(words >> recordedDisplay >> std::hex >> keycode) || recordedDisplay != display) continue;
    std::vector<std::uint32_t> own;
    for (std::uint32_t keysym = 0; words >> keysym;) own.push_back(keysym);
    if (keycode < 8 || keycode > 255 || own.empty() || own.size() > 255) continue;
    setMapping(connection, static_cast<std::uint8_t>(keycode), own);
    restored = true;
  }
  if (restored) ::unlink(record.c_str());
  return restored;
}

}  // namespace virelo::client
