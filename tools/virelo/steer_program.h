// "virelo steer" is a program of its own (tools/steer/), which the tool runs in its place: the
// tool itself then never loads SDL2 and the libraries it brings, which every other verb would pay
// for at start.
#pragma once

#include <string>
#include <vector>

#include "tools/virelo/doctor_checks.h"

namespace virelo::tools {

// Whether this build has the steering program.
bool steerBuilt();

// Replaces this process with the steering program, handing it the verb's words. Throws
// std::runtime_error when the build has none or it cannot be started.
[[noreturn]] void execSteer(const std::vector<std::string>& words);

// The doctor's line about game controllers, as the steering program sees them.
Check gameControllerCheck();

}  // namespace virelo::tools
