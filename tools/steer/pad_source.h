// Game controllers through SDL2's game controller API: the first controller plugged in steers,
// controllers come and go while the client runs (hot-plug), and the mappings of
// $SDL_GAMECONTROLLERCONFIG_FILE are added to SDL's own database. No window and no video
// subsystem are needed: events are read in the background.
//
// A virtual controller stands in for real hardware when `virtualPad` names a file (a FIFO, or a
// plain file read to its end): its lines drive one through SDL's own virtual joysticks, so it is
// plugged in, read and unplugged exactly as a real one:
//   attach [NAME]                     plugs it in ("Virtual pad" by default)
//   axis leftx|lefty|rightx|righty VALUE           in [-1, 1]
//   axis lefttrigger|righttrigger VALUE            in [0, 1]
//   button a|b|x|y|back|guide|start|leftstick|rightstick|leftshoulder|rightshoulder|
//          dpup|dpdown|dpleft|dpright 0|1
//   detach                            unplugs it
//
// Threads: one thread (the steering loop's) uses the object; SDL is initialised by it.
#pragma once

#include <string>
#include <vector>

#include "tools/steer/input_source.h"

struct _SDL_GameController;
struct _SDL_Joystick;

namespace virelo::steer {

class PadSource : public InputSource {
 public:
  // Throws std::runtime_error when SDL's game controllers cannot be initialised, or the virtual
  // controller's file cannot be opened.
  explicit PadSource(const std::string& virtualPad = "");
  ~PadSource() override;
  PadSource(const PadSource&) = delete;
  PadSource& operator=(const PadSource&) = delete;

  Frame read() override;
  std::size_t ignored() const override { return ignored_; }

 private:
  // Opens the first controller there is, when none is open.
  void openAny();
  void pumpEvents();
  // The virtual controller's lines that arrived, each applied.
  void feedVirtual();
  void applyLine(const std::string& line);

  _SDL_GameController* controller_ = nullptr;
  int instance_ = -1;
  int feedFd_ = -1;
  std::string feedBuffer_;
  _SDL_Joystick* virtual_ = nullptr;
  // The buttons that went down since the last read.
  decltype(PadState::buttons) tapped_;
  // The buttons the last frame showed held.
  decltype(PadState::buttons) reported_;
  std::size_t ignored_ = 0;
};

// The names of the game controllers SDL sees now (for "virelo doctor").
std::vector<std::string> controllersSeen();

}  // namespace virelo::steer
