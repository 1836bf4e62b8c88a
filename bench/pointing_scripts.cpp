#include "bench/pointing_scripts.h"

namespace virelo::bench {

std::vector<Spot> spotsAround(Spot centre, int count) {
  std::vector<Spot> spots;
  for (int i = 0; i < count; ++i) {
    // Steps of 37 and 7 modulo 121 and 21 never repeat a position in a row.
    spots.push_back({centre.x - 60 + (i * 37) % 121, centre.y - 10 + (i * 7) % 21});
  }
  return spots;
}

std::string moveScript(const std::vector<Spot>& spots) {
  std::string script;
  for (const Spot& s : spots) {
    script += "mousemove " + std::to_string(s.x) + " " + std::to_string(s.y) + "\n";
  }
  return script;
}

std::vector<std::string> xdotoolSyncedMoves(const std::vector<Spot>& spots) {
  std::vector<std::string> args;
  for (const Spot& s : spots) {
    args.insert(args.end(), {"mousemove", "--sync", std::to_string(s.x), std::to_string(s.y)});
  }
  return args;
}

MixedScripts mixedScripts(const std::vector<Spot>& spots) {
  MixedScripts scripts;
  int letter = 0;
  for (const Spot& s : spots) {
    for (int k = 0; k < 2; ++k) {
      const std::string key(1, static_cast<char>('a' + letter++ % 26));
      scripts.virelo += "key " + key + "\n";
      scripts.xdotool += "key --delay 0 " + key + "\n";
      scripts.typed += key;
    }
    const std::string at = std::to_string(s.x) + " " + std::to_string(s.y);
    scripts.virelo += "mousemove " + at + "\nmousemove_relative 3 0\nclick\n";
    scripts.xdotool += "mousemove " + at + "\nmousemove_relative -- 3 0\nclick --delay 0 1\n";
  }
  return scripts;
}

}  // namespace virelo::bench
