#include "tools/virelo/record_command.h"

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <string>

#include "virelo/client/script.h"

namespace virelo::tools {
namespace {

// SIGINT, SIGTERM and SIGHUP as a readable descriptor, blocked for the process.
int stopSignals() {
  sigset_t set;
  sigemptyset(&set);
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&set, sig);
  if (sigprocmask(SIG_BLOCK, &set, nullptr) != 0) throw std::runtime_error("sigprocmask");
  int fd = signalfd(-1, &set, SFD_CLOEXEC);
  if (fd < 0) throw std::runtime_error("signalfd");
  return fd;
}

}  // namespace

int runRecordCommand(const ToolArguments& args) {
  if (!args.operands.empty()) throw UsageError("record takes no operands");
  std::ofstream file;
  if (args.output && *args.output != "-") {
    file.open(*args.output, std::ios::trunc);
    if (!file) throw std::runtime_error("cannot write " + *args.output);
  }
  client::RecordOptions options;
  options.includeOwn = args.includeOwn;
  if (args.durationS) options.duration = std::chrono::seconds(*args.durationS);
  options.stopDescriptor = stopSignals();
  options.started = [&options] {
    std::cerr << "virelo: recording" << (options.duration ? "" : " until Ctrl-C") << "\n";
  };
  client::Recording recording;
  try {
    recording = client::recordInput(std::getenv("DISPLAY"), options);
  } catch (...) {
    ::close(options.stopDescriptor);
    throw;
  }
  ::close(options.stopDescriptor);
  if (recording.serverGone) {
    std::cerr << "virelo: the X server went away; writing what was recorded\n";
  }
  if (file.is_open()) {
    file << recording.script;
    file.close();
    if (!file) throw std::runtime_error("cannot write " + *args.output);
  } else {
    std::cout << recording.script << std::flush;
  }
  return 0;
}

}  // namespace virelo::tools
