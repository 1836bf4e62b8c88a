#include "tools/virelo/pointing_commands.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <iostream>

#include "virelo/client/errors.h"

namespace virelo::tools {
namespace {

constexpr int kFarthest = 100'000;

std::string displayFor(const std::string& backend) {
  return client::pointerDisplay(std::getenv, backend);
}

// The area positions are counted in: the monitor --screen names, else the whole screen.
client::ScreenArea areaOf(const ToolArguments& args, const std::string& display) {
  if (!args.screen) {
    auto whole = client::screenArea(display.c_str());
    if (!whole) throw client::PointerUnknown("no X server answers on \"" + display + "\"");
    return *whole;
  }
  auto areas = client::monitors(display.c_str());
  if (areas.empty()) throw client::PointerUnknown("no X server answers on \"" + display + "\"");
  if (*args.screen >= static_cast<int>(areas.size())) {
    throw UsageError("there is no screen " + std::to_string(*args.screen) + ": the X server has " +
                     std::to_string(areas.size()) + " (0 to " + std::to_string(areas.size() - 1) +
                     ")");
  }
  return areas[static_cast<std::size_t>(*args.screen)];
}

double fractionOperand(const std::string& text, const char* what) {
  double value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || !(value >= 0 && value <= 1)) {
    throw UsageError(std::string(what) + " must be a fraction from 0 to 1, not \"" + text + "\"");
  }
  return value;
}

client::PointerPosition targetOf(const ToolArguments& args, const client::ScreenArea& area) {
  if (args.operands.size() != 2) {
    throw UsageError("\"" + args.command + "\" takes 2 arguments");
  }
  client::PointerPosition target;
  if (args.command == "mouseto") {
    const double fx = fractionOperand(args.operands[0], "FX");
    const double fy = fractionOperand(args.operands[1], "FY");
    target.x = area.x + static_cast<int>(std::lround(fx * (area.width - 1)));
    target.y = area.y + static_cast<int>(std::lround(fy * (area.height - 1)));
    return target;
  }
  target.x = area.x + integerOperand(args.operands[0], "X", 0, kFarthest);
  target.y = area.y + integerOperand(args.operands[1], "Y", 0, kFarthest);
  if (!area.contains(target)) {
    throw UsageError("(" + args.operands[0] + ", " + args.operands[1] + ") is off the screen (" +
                     std::to_string(area.width) + "x" + std::to_string(area.height) + ")");
  }
  return target;
}

}  // namespace

int runPointingCommand(client::Client& client, const ToolArguments& args) {
  const std::string display = displayFor(client.backend());
  const client::PointerPosition target = targetOf(args, areaOf(args, display));
  client::moveTo(client, display.c_str(), target);
  return 0;
}

void placePointerAt(client::Client& client, client::PointerPosition target) {
  client::moveToOnScreen(client, std::getenv, target);
}

int runGetMouseLocation(const ToolArguments& args) {
  if (!args.operands.empty()) throw UsageError("\"getmouselocation\" takes no arguments");
  const std::string display = displayFor("");
  auto position = client::pointerPosition(display.c_str());
  if (!position) throw client::PointerUnknown("no X server answers on \"" + display + "\"");
  int screen = -1;
  auto areas = client::monitors(display.c_str());
  for (std::size_t i = 0; i < areas.size() && screen < 0; ++i) {
    if (areas[i].contains(*position)) screen = static_cast<int>(i);
  }
  if (args.json) {
    std::cout << "{\"x\":" << position->x << ",\"y\":" << position->y << ",\"screen\":" << screen
              << "}\n";
  } else if (args.shell) {
    std::cout << "X=" << position->x << "\nY=" << position->y << "\nSCREEN=" << screen << "\n";
  } else {
    std::cout << "x:" << position->x << " y:" << position->y << " screen:" << screen << "\n";
  }
  return 0;
}

}  // namespace virelo::tools
