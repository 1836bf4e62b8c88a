// Where the tools find the service binary.
#pragma once

#include <string>

namespace virelo::tools {

// The service binary: "virelo-service" beside the running program when there is one, otherwise
// the one this build produced.
std::string serviceBinary();

}  // namespace virelo::tools
