#include "tools/virelo/tool_arguments.h"

#include <algorithm>
#include <charconv>

#include "tools/virelo/tool_options.h"
#include "tools/virelo/verbs.h"

namespace virelo::tools {
namespace {

// A word of the command line that is an option.
bool isOption(const std::string& word) {
  return (word.starts_with("--") && word != "--") || word == "-h" || word == "-v";
}

const ToolOption& knownOption(const std::string& word) {
  if (word == "--token") {
    throw UsageError(
        "--token is gone (other users can read it in ps): use --token-file PATH or "
        "$VIRELO_TOKEN");
  }
  const ToolOption* option = findOption(word);
  if (option == nullptr) throw UsageError("unknown option " + word);
  return *option;
}

// An option whose value may be left out: its placeholder is in brackets ("[NAME]").
bool optionalValue(const ToolOption& option) {
  return option.value.starts_with('[');
}

bool isGlobal(const ToolOption& option) {
  auto globals = globalOptions();
  return std::find(globals.begin(), globals.end(), option.name) != globals.end();
}

// The command line split: the verb's name, the global options taken into `args`, and every other
// word in order ("--" included), for the verb to parse.
std::vector<std::string> splitOffVerb(int argc, const char* const* argv, ToolArguments& args) {
  std::vector<std::string> rest;
  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i];
    if (optionsEnded || !isOption(word)) {
      optionsEnded = optionsEnded || word == "--";
      if (word != "--" && args.command.empty()) {
        args.command = word;
      } else {
        rest.push_back(word);
      }
      continue;
    }
    const ToolOption& option = knownOption(word);
    if (isGlobal(option)) {
      option.take(args, word, "");
      continue;
    }
    rest.push_back(word);
    // Its value, which is no verb even where it looks like one; a value that may be left out
    // is the verb's to take.
    if (!option.value.empty() && !optionalValue(option) && i + 1 < argc) {
      rest.push_back(argv[++i]);
    }
  }
  return rest;
}

// The verb's own part of the command line: the options it takes, and its operands.
void parseVerbArguments(const Verb& verb, const std::vector<std::string>& words,
                        ToolArguments& args) {
  bool optionsEnded = false;
  for (std::size_t i = 0; i < words.size(); ++i) {
    const std::string& word = words[i];
    if (optionsEnded || !isOption(word)) {
      if (!optionsEnded && word == "--") {
        optionsEnded = true;
      } else {
        args.operands.push_back(word);
      }
      continue;
    }
    const ToolOption& option = knownOption(word);
    if (!takesOption(verb, option.name)) {
      throw UsageError(word + " is not an option of \"" + std::string(verb.name) + "\"");
    }
    std::string value;
    if (optionalValue(option)) {
      if (i + 1 < words.size() && !isOption(words[i + 1]) && words[i + 1] != "--") {
        value = words[++i];
      }
    } else if (!option.value.empty()) {
      if (i + 1 >= words.size()) throw UsageError(word + " needs a value");
      value = words[++i];
    }
    option.take(args, std::string(option.name), value);
  }
}

}  // namespace

ToolArguments parseToolArguments(int argc, const char* const* argv) {
  ToolArguments args;
  const std::vector<std::string> rest = splitOffVerb(argc, argv, args);
  if (args.command.empty()) {
    if (args.help || args.version) return args;
    throw UsageError("no command given");
  }
  const Verb* verb = findVerb(args.command);
  if (verb == nullptr) throw UsageError("unknown command \"" + args.command + "\"");
  parseVerbArguments(*verb, rest, args);
  args.verbWords = rest;
  if (verb->check != nullptr && !args.help) verb->check(args);
  return args;
}

int integerOperand(const std::string& text, const char* what, int min, int max) {
  int value = 0;
  const char* begin = text.data();
  if (!text.empty() && text[0] == '+') ++begin;
  auto [end, error] = std::from_chars(begin, text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || begin == end || value < min ||
      value > max) {
    throw UsageError(std::string(what) + " must be a whole number from " + std::to_string(min) +
                     " to " + std::to_string(max) + ", not \"" + text + "\"");
  }
  return value;
}

}  // namespace virelo::tools
