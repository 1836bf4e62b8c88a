// virelo-steer: "virelo steer" (steer_command.h), which the virelo tool runs in its place with the
// verb's words. "--list-controllers" alone prints the game controllers plugged in, one per line,
// for "virelo doctor".
#include <iostream>
#include <string>
#include <vector>

#include "tools/steer/steer_command.h"

int main(int argc, char** argv) {
  const std::vector<std::string> words(argv + 1, argv + argc);
  if (words.size() == 1 && words[0] == "--list-controllers") {
    for (const std::string& name : virelo::steer::gameControllersSeen()) std::cout << name << '\n';
    return 0;
  }
  return virelo::steer::steerMain(words);
}
