// Copying the service to run it from elsewhere (as another user, say, who may not be able to read
// the original): the binary and the accessibility module that it opens from beside itself when
// the Linux desktop host is chosen. The module is taken from beside the original, or from its
// installed place relative to it; a service without one (a build without the module) is copied
// alone.
#pragma once

#include <string>

namespace virelo::client {

// Copies the service at `servicePath` into `directory` as "virelo-service", and its module beside
// it; returns the path of the copy. Throws std::filesystem::filesystem_error.
std::string copyService(const std::string& servicePath, const std::string& directory);

}  // namespace virelo::client
