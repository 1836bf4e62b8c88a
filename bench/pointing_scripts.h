// The pointing work of the command line's figures, written once for each tool: the same
// positions, keys and clicks as a "virelo run" script and as xdotool's command lines and scripts.
// Every position lies inside a rectangle of the screen given by its centre; keys are letters.
#pragma once

#include <string>
#include <vector>

namespace virelo::bench {

struct Spot {
  int x = 0;
  int y = 0;
};

// `count` positions around `centre`, within 60 pixels across and 10 up and down, no two in a row
// the same.
std::vector<Spot> spotsAround(Spot centre, int count);

// 200 absolute moves: a "virelo run" script of mousemove lines, and the arguments of one xdotool
// process that makes each move with --sync (after the program's path).
std::string moveScript(const std::vector<Spot>& spots);
std::vector<std::string> xdotoolSyncedMoves(const std::vector<Spot>& spots);

// The mixed script of `blocks` blocks of five actions (two keys, an absolute move to the block's
// spot, a relative move of 3 pixels right, a click of the primary button), as a "virelo run"
// script and as an xdotool script with every delay 0; `typed` is what the keys type.
struct MixedScripts {
  std::string virelo;
  std::string xdotool;
  std::string typed;
};
MixedScripts mixedScripts(const std::vector<Spot>& spots);

}  // namespace virelo::bench
