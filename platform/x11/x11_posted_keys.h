// The keys (and media keys) that the X11 window server posted through XTEST, each with the tag
// its event carried in the source user-data field. X carries no such field, so a tap recognises
// the service's own key events by matching what arrives from the XTEST device against this
// record, in posting order.
//
// Threads: record() on the posting thread, take() on the tap thread; one internal leaf mutex.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>

namespace virelo::x11 {

class PostedKeys {
 public:
  // Records that are never matched (posted while no tap listened) age out beyond this many.
  static constexpr std::size_t kCapacity = 256;

  void record(std::uint8_t keycode, bool press, std::int64_t tag);
  // The tag of the oldest record of this key and direction, which is removed with every older
  // record (the server delivers in posting order, so those were never seen); nullopt when none.
  std::optional<std::int64_t> take(std::uint8_t keycode, bool press);

 private:
  struct Entry {
    std::uint8_t keycode;
    bool press;
    std::int64_t tag;
  };
  std::mutex mutex_;
  std::deque<Entry> entries_;
};

}  // namespace virelo::x11
