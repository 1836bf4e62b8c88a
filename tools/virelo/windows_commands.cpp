#include "tools/virelo/windows_commands.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <iostream>
#include <nlohmann/json.hpp>
#include <vector>

#include "virelo/client/controls.h"

namespace virelo::tools {
namespace {

using client::WindowInfo;

const char* display() {
  return std::getenv("DISPLAY");
}

void noOperands(const ToolArguments& args) {
  if (!args.operands.empty()) throw UsageError("\"" + args.command + "\" takes options only");
}

nlohmann::json jsonOf(const WindowInfo& w) {
  nlohmann::json json = {{"id", w.id},
                         {"title", w.title},
                         {"application", w.application},
                         {"instance", w.instance},
                         {"pid", w.pid},
                         {"x", w.geometry.x},
                         {"y", w.geometry.y},
                         {"width", w.geometry.width},
                         {"height", w.geometry.height},
                         {"desktop", nullptr},
                         {"focused", w.focused}};
  if (w.desktop) json["desktop"] = *w.desktop;
  return json;
}

void printJson(const std::vector<WindowInfo>& windows) {
  nlohmann::json list = nlohmann::json::array();
  for (const auto& w : windows) list.push_back(jsonOf(w));
  std::cout << list.dump(2) << "\n";
}

client::NameMatch expression(const std::string& option, const std::string& text) {
  try {
    return client::NameMatch::matching(text);
  } catch (const client::MalformedExpression& e) {
    throw UsageError(option + " \"" + text + "\": " + e.what());
  }
}

// --name RE (stored as the controls' --name), --class RE, --pid N.
client::WindowQuery windowQuery(const ToolArguments& args) {
  client::WindowQuery query;
  if (args.controls.nameOption) query.name = expression("--name", args.controls.name);
  if (args.windowClass) query.className = expression("--class", *args.windowClass);
  query.pid = args.windowPid;
  return query;
}

// A window id as xdotool and xprop write it: decimal, or hexadecimal after "0x".
std::uint32_t windowId(const std::string& text) {
  const bool hex = text.starts_with("0x") || text.starts_with("0X");
  const char* digits = text.c_str() + (hex ? 2 : 0);
  char* end = nullptr;
  errno = 0;
  const unsigned long long id = std::strtoull(digits, &end, hex ? 16 : 10);
  if (*digits == '\0' || *end != '\0' || errno != 0 || id == 0 || id > 0xFFFFFFFFull ||
      !std::isxdigit(static_cast<unsigned char>(*digits))) {
    throw UsageError("a window id is a number such as 4194307 or 0x400003, not \"" + text + "\"");
  }
  return static_cast<std::uint32_t>(id);
}

}  // namespace

std::string windowLine(const WindowInfo& w) {
  // Appended piece by piece: g++ 12 at -O3 reports a false overlap (-Wrestrict) in the inlined
  // concatenation of a literal and a temporary.
  std::string line = std::to_string(w.id);
  for (const std::string& part :
       {std::string("\t\""), client::escapedText(w.title), std::string("\"\t"),
        client::escapedText(w.application), std::string("\t"), std::to_string(w.pid),
        std::string("\t"), std::to_string(w.geometry.x), std::string(","),
        std::to_string(w.geometry.y), std::string(" "), std::to_string(w.geometry.width),
        std::string("x"), std::to_string(w.geometry.height), std::string("\t")}) {
    line += part;
  }
  if (!w.desktop) {
    line += "-";
  } else {
    line += *w.desktop < 0 ? "all" : std::to_string(*w.desktop);
  }
  line += w.focused ? "\tfocused" : "\t-";
  return line;
}

int runWindows(const ToolArguments& args) {
  noOperands(args);
  const auto windows = client::listWindows(display());
  if (args.json) {
    printJson(windows);
  } else {
    for (const auto& w : windows) std::cout << windowLine(w) << "\n";
  }
  return 0;
}

int runSearch(const ToolArguments& args) {
  noOperands(args);
  const auto windows = client::searchWindows(display(), windowQuery(args));
  if (args.json) {
    printJson(windows);
  } else {
    for (const auto& w : windows) std::cout << w.id << "\n";
  }
  if (windows.empty()) {
    std::cerr << "virelo: no window matches\n";
    return 1;
  }
  return 0;
}

int runActivate(const ToolArguments& args) {
  if (args.operands.size() != 1) throw UsageError("\"activate\" takes one window id");
  client::activateWindow(display(), windowId(args.operands[0]));
  return 0;
}

int runGetActiveWindow(const ToolArguments& args) {
  noOperands(args);
  const auto active = client::activeWindow(display());
  if (!active) {
    std::cerr << "virelo: no window is active\n";
    return 1;
  }
  std::cout << active->id << "\n";
  return 0;
}

int runGetDisplayGeometry(const ToolArguments& args) {
  noOperands(args);
  const client::ScreenArea screen = client::displayGeometry(display());
  std::cout << screen.width << " " << screen.height << "\n";
  return 0;
}

}  // namespace virelo::tools
