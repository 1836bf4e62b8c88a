// Ownership of the replies that XCB allocates with malloc.
#pragma once

#include <cstdlib>
#include <memory>

namespace virelo::x11 {

struct FreeReply {
  void operator()(void* reply) const { std::free(reply); }
};
template <typename Reply>
using ReplyPtr = std::unique_ptr<Reply, FreeReply>;

}  // namespace virelo::x11
