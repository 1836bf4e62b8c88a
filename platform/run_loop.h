// A thread's run loop and the sources it serves, as far as an event tap needs them.
//
// Threads: addSource(), removeSource() and runFor() only on the loop's own thread; stop() from any
// thread.
#pragma once

#include <memory>

namespace virelo {

// A run-loop source that feeds one event tap into a run loop. Opaque to its users.
class RunLoopSource {
 public:
  virtual ~RunLoopSource() = default;
};

class RunLoop {
 public:
  virtual ~RunLoop() = default;
  // Adds or removes the source in the common modes.
  virtual void addSource(const std::shared_ptr<RunLoopSource>& source) = 0;
  virtual void removeSource(const std::shared_ptr<RunLoopSource>& source) = 0;
  // Runs the loop in the default mode, serving its sources, for up to `seconds`, without
  // returning after the first source served. Returns early when stop() is called.
  virtual void runFor(double seconds) = 0;
  // Makes the current (or, when the loop is not running, the next) runFor() return at once.
  virtual void stop() = 0;
};

}  // namespace virelo
