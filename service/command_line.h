// The command line: exactly <program> "--socket" <path> "--backend" <"cgevent"|"corehid">.
#pragma once

#include <optional>
#include <span>
#include <string>

#include "core/input_backend.h"

namespace virelo {

struct CommandLine {
  std::string socketPath;
  InputBackend backend;
};

// nullopt for anything else: another count, misplaced or misspelt options, an unknown backend.
std::optional<CommandLine> parseCommandLine(std::span<const char* const> argv);

}  // namespace virelo
