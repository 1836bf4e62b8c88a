#include "platform/x11/x11_posted_keys.h"

namespace virelo::x11 {

void PostedKeys::record(std::uint8_t keycode, bool press, std::int64_t tag) {
  std::lock_guard<std::mutex> guard(mutex_);
  if (entries_.size() == kCapacity) entries_.pop_front();
  entries_.push_back({keycode, press, tag});
}

std::optional<std::int64_t> PostedKeys::take(std::uint8_t keycode, bool press) {
  std::lock_guard<std::mutex> guard(mutex_);
  for (auto it = entries_.begin(); it != entries_.end(); ++it) {
    if (it->keycode == keycode && it->press == press) {
      std::int64_t tag = it->tag;
      entries_.erase(entries_.begin(), it + 1);
      return tag;
    }
  }
  return std::nullopt;
}

}  // namespace virelo::x11
