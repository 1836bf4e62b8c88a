#include "service/command_line.h"

#include <string_view>

namespace virelo {

std::optional<CommandLine> parseCommandLine(std::span<const char* const> argv) {
  if (argv.size() != 5 || std::string_view(argv[1]) != "--socket" ||
      std::string_view(argv[3]) != "--backend") {
    return std::nullopt;
  }
  auto backend = parseInputBackend(argv[4]);
  if (!backend) return std::nullopt;
  return CommandLine{argv[2], *backend};
}

}  // namespace virelo
