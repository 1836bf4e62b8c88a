// Steering from any program, by lines on standard input (or another descriptor):
//   velocity DX DY    the pointer moves at DX, DY points per second until the next line
//   position X Y      the pointer moves as far as this position lies from the previous one (the
//                     first position only sets where the positions start)
// Other lines are ignored and counted. The end of the input ends steering.
//
// Threads: one thread (the steering loop's) uses the object.
#pragma once

#include <string>

#include "tools/steer/input_source.h"

namespace virelo::steer {

class LineSource : public InputSource {
 public:
  // Reads the descriptor without blocking (it is switched to non-blocking reads).
  explicit LineSource(int fd);

  Frame read() override;
  std::size_t ignored() const override { return ignored_; }

  // One line applied: what it changes in the velocity or the jump of the next frame.
  void apply(const std::string& line);

 private:
  int fd_;
  std::string buffer_;
  bool ended_ = false;
  Vec2 velocity_;
  Vec2 jump_;
  bool havePosition_ = false;
  Vec2 position_;
  std::size_t ignored_ = 0;
};

}  // namespace virelo::steer
