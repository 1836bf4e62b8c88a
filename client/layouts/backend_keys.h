// Which keys a backend of the service posts: the "cgevent" backend has no window-server key for
// the non-US hash (0x32), the ISO key left of Z (0x64) and most usages from 0x65 on, and drops
// them without an error, so a text that needs one of them is refused instead.
#pragma once

#include <string_view>

namespace virelo::client {

inline bool backendPosts(std::string_view backend, int usage) {
  if (backend != "cgevent") return true;
  return (usage >= 0x04 && usage <= 0x31) || (usage >= 0x33 && usage <= 0x63) ||
         (usage >= 0x68 && usage <= 0x6F);
}

}  // namespace virelo::client
