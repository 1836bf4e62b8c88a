#include "bench/process_meter.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace virelo::bench {

double ProcessMeter::cpuSeconds() const {
  std::ifstream in("/proc/" + std::to_string(pid_) + "/stat");
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // The command name (field 2) may hold spaces; the fields after it start behind the last ')'.
  auto close = text.rfind(')');
  if (close == std::string::npos) return 0;
  std::istringstream fields(text.substr(close + 2));
  std::string field;
  unsigned long long utime = 0, stime = 0;
  // Fields 3..13 precede utime (14) and stime (15).
  for (int i = 3; i <= 13; ++i) fields >> field;
  fields >> utime >> stime;
  return static_cast<double>(utime + stime) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

double ProcessMeter::scheduledSeconds() const {
  unsigned long long total = 0;
  std::error_code ec;
  std::filesystem::directory_iterator tasks("/proc/" + std::to_string(pid_) + "/task", ec);
  for (; !ec && tasks != std::filesystem::directory_iterator(); tasks.increment(ec)) {
    std::ifstream in(tasks->path() / "schedstat");
    unsigned long long onCpu = 0;
    if (in >> onCpu) total += onCpu;
  }
  return static_cast<double>(total) / 1e9;
}

namespace {

// A field of /proc/<pid>/status given in kB.
std::uint64_t statusKiB(pid_t pid, const std::string& field) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(in, line);) {
    if (line.rfind(field, 0) == 0) return std::stoull(line.substr(field.size()));
  }
  return 0;
}

}  // namespace

std::uint64_t ProcessMeter::peakResidentKiB() const {
  return statusKiB(pid_, "VmHWM:");
}

std::uint64_t ProcessMeter::residentKiB() const {
  return statusKiB(pid_, "VmRSS:");
}

}  // namespace virelo::bench
