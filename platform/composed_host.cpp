#include "platform/composed_host.h"

#include <stdexcept>
#include <utility>

namespace virelo {

ComposedHost::ComposedHost(HostParts parts) : parts_(std::move(parts)) {
  if (!parts_.codeSignature || !parts_.devices || !parts_.windowServer || !parts_.accessibility)
    throw std::invalid_argument("a host needs every service part");
}

ComposedHost::~ComposedHost() {
  stopThreads();
  // The parts before the state they borrow from, which goes in reverse order.
  parts_.stopThreads = nullptr;
  parts_.startThreads = nullptr;
  parts_.accessibility = nullptr;
  parts_.windowServer.reset();
  parts_.devices.reset();
  parts_.codeSignature.reset();
  while (!parts_.shared.empty()) parts_.shared.pop_back();
}

void ComposedHost::startThreads() {
  if (parts_.startThreads) parts_.startThreads();
}

void ComposedHost::stopThreads() {
  if (parts_.stopThreads) parts_.stopThreads();
}

}  // namespace virelo
