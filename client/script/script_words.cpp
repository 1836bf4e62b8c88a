#include <optional>

#include "virelo/client/script.h"

namespace virelo::client {
namespace {

bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r';
}

// Reads a quoted part that starts after its opening quote at `i`; leaves `i` after the closing one.
void readQuoted(std::string_view line, std::size_t& i, char quote, std::string& word) {
  for (; i < line.size(); ++i) {
    char c = line[i];
    if (c == quote) {
      ++i;
      return;
    }
    if (quote == '"' && c == '\\' && i + 1 < line.size() &&
        (line[i + 1] == '"' || line[i + 1] == '\\')) {
      c = line[++i];
    }
    word += c;
  }
  throw ScriptSyntaxError(std::string("no closing ") + quote);
}

// Reads a $'...' part, which starts after its opening quote at `i`, as the shell's ANSI-C quoting
// with the escapes \n (Return), \t (Tab), \\, \' and \"; leaves `i` after the closing quote.
void readEscaped(std::string_view line, std::size_t& i, std::string& word) {
  for (; i < line.size(); ++i) {
    char c = line[i];
    if (c == '\'') {
      ++i;
      return;
    }
    if (c == '\\') {
      if (i + 1 == line.size()) break;
      const char next = line[++i];
      switch (next) {
        case 'n':
          c = '\n';
          break;
        case 't':
          c = '\t';
          break;
        case '\\':
        case '\'':
        case '"':
          c = next;
          break;
        default:
          throw ScriptSyntaxError(std::string("unknown escape \\") + next +
                                  " in $'...' (\\n, \\t, \\\\, \\' and \\\" are known)");
      }
    }
    word += c;
  }
  throw ScriptSyntaxError("no closing '");
}

}  // namespace

std::vector<std::string> scriptWords(std::string_view line) {
  std::vector<std::string> words;
  std::optional<std::string> word;  // the word being read, if any
  for (std::size_t i = 0; i < line.size();) {
    char c = line[i];
    if (isBlank(c)) {
      if (word) words.push_back(std::move(*word));
      word.reset();
      ++i;
    } else if (c == '#' && !word) {
      break;
    } else if (c == '$' && i + 1 < line.size() && line[i + 1] == '\'') {
      if (!word) word.emplace();
      i += 2;
      readEscaped(line, i, *word);
    } else if (c == '"' || c == '\'') {
      if (!word) word.emplace();
      ++i;
      readQuoted(line, i, c, *word);
    } else if (c == '\\') {
      if (i + 1 == line.size()) throw ScriptSyntaxError("a backslash ends the line");
      if (!word) word.emplace();
      *word += line[i + 1];
      i += 2;
    } else {
      if (!word) word.emplace();
      *word += c;
      ++i;
    }
  }
  if (word) words.push_back(std::move(*word));
  return words;
}

}  // namespace virelo::client
