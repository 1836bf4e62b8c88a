// Programs that the out-of-process benchmarks run as the service user, as whole processes: copied
// where that user may run them, and run to their end.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace virelo::bench {

// Copies each file (from, to), owned by the service user when this process may change owners.
void copyForServiceUser(const std::vector<std::pair<std::string, std::string>>& files);

// What a program wrote on standard output and whether it exited 0.
struct ProgramOutcome {
  std::string output;
  bool succeeded = false;
};

// Runs a program as the service user with exactly that environment, standard input from
// /dev/null, to its end; its standard output is read. Throws when it runs longer than timeoutMs.
ProgramOutcome runAsServiceUser(const std::vector<std::string>& args,
                                const std::map<std::string, std::string>& env, int timeoutMs);

}  // namespace virelo::bench
