#include "tools/steer/json_lines.h"

#include <vector>

namespace virelo::steer {
namespace {

struct Level {
  bool object = false;
  bool expectKey = false;
  std::string key;
};

std::string pathOf(const std::vector<Level>& levels) {
  std::string path;
  for (const Level& level : levels) {
    path += (path.empty() ? "" : "/") + (level.object ? level.key : std::string("[]"));
  }
  return path;
}

// The string starting at text[i] (a quote), escapes kept as they are; i ends on the closing quote.
std::string stringAt(const std::string& text, std::size_t& i) {
  std::string s;
  for (++i; i < text.size() && text[i] != '"'; ++i) {
    if (text[i] == '\\' && i + 1 < text.size()) s += text[i++];
    s += text[i];
  }
  return s;
}

}  // namespace

std::map<std::string, int> keyLines(const std::string& text) {
  std::map<std::string, int> lines;
  std::vector<Level> levels;
  int line = 1;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\n') {
      ++line;
    } else if (c == '"') {
      const std::string s = stringAt(text, i);
      if (!levels.empty() && levels.back().object && levels.back().expectKey) {
        levels.back().key = s;
        levels.back().expectKey = false;
        lines.emplace(pathOf(levels), line);
      }
    } else if (c == '{' || c == '[') {
      levels.push_back({c == '{', c == '{', ""});
    } else if ((c == '}' || c == ']') && !levels.empty()) {
      levels.pop_back();
    } else if (c == ',' && !levels.empty() && levels.back().object) {
      levels.back().expectKey = true;
    }
  }
  return lines;
}

int lineAt(const std::string& text, std::size_t offset) {
  int line = 1;
  for (std::size_t i = 0; i < offset && i < text.size(); ++i) line += text[i] == '\n';
  return line;
}

}  // namespace virelo::steer
