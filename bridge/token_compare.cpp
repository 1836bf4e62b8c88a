#include "bridge/token_compare.h"

#include <algorithm>

namespace virelo {

bool sameToken(std::string_view given, std::string_view expected) {
  // Every byte position up to the longer length is visited, and differences are accumulated
  // without branching on them.
  unsigned char diff = given.size() == expected.size() ? 0 : 1;
  std::size_t n = std::max(given.size(), expected.size());
  for (std::size_t i = 0; i < n; ++i) {
    unsigned char x = i < given.size() ? static_cast<unsigned char>(given[i]) : 0;
    unsigned char y = i < expected.size() ? static_cast<unsigned char>(expected[i]) : 0;
    diff |= static_cast<unsigned char>(x ^ y);
  }
  return diff == 0;
}

}  // namespace virelo
