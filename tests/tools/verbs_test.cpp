// The verb table against everything that describes the verbs: the command line takes exactly the
// options each verb declares, the help shows them, and the shell completions and the manual page
// offer every verb with exactly its options.
#include "tools/virelo/verbs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "tools/virelo/tool_help.h"
#include "tools/virelo/tool_options.h"

namespace virelo::tools {
namespace {

using Names = std::set<std::string>;

ToolArguments parse(std::vector<std::string> words) {
  words.insert(words.begin(), "virelo");
  std::vector<const char*> argv;
  for (const auto& word : words) argv.push_back(word.c_str());
  return parseToolArguments(static_cast<int>(argv.size()), argv.data());
}

std::string fileText(const std::string& path) {
  std::ifstream in(path);
  EXPECT_TRUE(in) << path;
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The long options ("--name") a text mentions.
Names longOptions(const std::string& text) {
  static const std::regex kOption("--[a-z][a-z-]*");
  Names names;
  for (std::sregex_iterator at(text.begin(), text.end(), kOption), end; at != end; ++at) {
    names.insert(at->str());
  }
  return names;
}

// What the completions should offer a verb: every option it takes, without the global ones.
Names expectedOptions(const Verb& verb) {
  Names names;
  for (auto option : optionsOf(verb)) names.insert(std::string(option));
  return names;
}

Names verbNames() {
  Names names;
  for (const Verb& verb : verbs()) names.insert(std::string(verb.name));
  return names;
}

Names words(const std::string& text) {
  std::istringstream in(text);
  Names names;
  for (std::string word; in >> word;) names.insert(word);
  return names;
}

// Replaces each "$name" of the text with the value of the shell variable or array defined in the
// file as name="...", name=(...) or (fish) "set -l name ...".
std::string expanded(std::string text, const std::string& file) {
  static const std::regex kReference(R"(\$([a-z_]+))");
  std::smatch reference;
  while (std::regex_search(text, reference, kReference)) {
    const std::string name = reference[1];
    const std::regex definition("\\b" + name + R"(=(\"([^\"]*)\"|\(([\s\S]*?)\n\s*\)))" +
                                "|set -l " + name + " ([^\\n]*)");
    std::smatch value;
    std::string replacement;
    if (std::regex_search(file, value, definition)) {
      replacement = value[2].str() + value[3].str() + value[4].str();
    }
    text.replace(static_cast<std::size_t>(reference.position(0)),
                 static_cast<std::size_t>(reference.length(0)), replacement);
  }
  return text;
}

// The options a completion file offers each verb, from the branches of a shell "case": lines
// "verb | verb2) ... ;;" up to the ";;" (bash and zsh).
std::map<std::string, Names> caseBranches(const std::string& file, const std::string& from) {
  std::map<std::string, Names> offered;
  const std::string body = file.substr(file.find(from));
  static const std::regex kBranch(R"(\n\s*([a-z][a-z |-]*)\)([^;]*);;)");
  for (std::sregex_iterator at(body.begin(), body.end(), kBranch), end; at != end; ++at) {
    std::string pattern = (*at)[1];
    std::replace(pattern.begin(), pattern.end(), '|', ' ');
    for (const auto& verb : words(pattern)) {
      offered[verb].merge(longOptions(expanded((*at)[2], file)));
    }
  }
  return offered;
}

// The options the fish completion offers each verb: its "complete" lines under
// "__fish_seen_subcommand_from VERBS" with "-l NAME".
std::map<std::string, Names> fishConditions(const std::string& file) {
  std::map<std::string, Names> offered;
  static const std::regex kLine(
      R"re(\n\s*complete -c virelo -n "__fish_seen_subcommand_from ([^";]*)"[^\n]* -l ([a-z-]+))re");
  for (std::sregex_iterator at(file.begin(), file.end(), kLine), end; at != end; ++at) {
    for (const auto& verb : words(expanded((*at)[1], file))) {
      offered[verb].insert("--" + (*at)[2].str());
    }
  }
  return offered;
}

void expectEveryVerbWithItsOptions(const std::map<std::string, Names>& offered,
                                   const std::string& shell) {
  for (const Verb& verb : verbs()) {
    const std::string name(verb.name);
    Names options = offered.count(name) != 0 ? offered.at(name) : Names();
    for (auto global : globalOptions()) options.erase(std::string(global));
    EXPECT_EQ(options, expectedOptions(verb)) << shell << ": " << name;
  }
}

TEST(VerbTable, EachVerbsHelpShowsItsSynopsisAndEveryOptionItTakes) {
  for (const Verb& verb : verbs()) {
    const std::string name(verb.name);
    for (const auto& line : {std::vector<std::string>{name, "--help"}, {"-h", name}}) {
      const ToolArguments args = parse(line);
      EXPECT_TRUE(args.help && args.command == name) << line[0] << " " << line[1];
    }
    const std::string help = verbHelp(verb);
    EXPECT_TRUE(help.starts_with("Usage: " + synopsisOf(verb) + "\n")) << help;
    for (auto option : optionsOf(verb)) {
      const bool listed = help.find("  " + std::string(option)) != std::string::npos ||
                          help.find(", " + std::string(option)) != std::string::npos;
      EXPECT_TRUE(listed) << name << " " << option;
      EXPECT_NE(findOption(option), nullptr) << name << option;
    }
    Names own;
    for (auto option : verb.options) own.insert(std::string(option));
    EXPECT_EQ(longOptions(std::string(verb.synopsis)), own) << name;
    EXPECT_NE(overallHelp().find("\n  " + name), std::string::npos) << name;
  }
  EXPECT_EQ(parse({"help", "type"}).operands, std::vector<std::string>{"type"});
}

TEST(VerbTable, AVerbRefusesEveryOptionItDoesNotTake) {
  for (const Verb& verb : verbs()) {
    for (const ToolOption& option : allOptions()) {
      const std::string name(option.name);
      if (takesOption(verb, name) || expectedOptions(verb).count(name) != 0 ||
          std::find(globalOptions().begin(), globalOptions().end(), name) !=
              globalOptions().end()) {
        continue;
      }
      std::vector<std::string> line = {std::string(verb.name), name};
      if (!option.value.empty()) line.push_back("1");
      try {
        parse(line);
        ADD_FAILURE() << verb.name << " took " << name;
      } catch (const UsageError& e) {
        EXPECT_EQ(e.what(), name + " is not an option of \"" + std::string(verb.name) + "\"");
      }
    }
  }
}

TEST(VerbTable, OptionsComeBeforeOrAfterTheVerbAndOperandsMayLookLikeThem) {
  const ToolArguments args = parse({"--layout", "de", "type", "-v", "--", "--not-an-option"});
  EXPECT_EQ(args.command, "type");
  EXPECT_EQ(args.layout, "de");
  EXPECT_TRUE(args.verbose);
  EXPECT_EQ(args.operands, std::vector<std::string>{"--not-an-option"});
  EXPECT_EQ(parse({"scroll", "-3"}).operands, std::vector<std::string>{"-3"});
  EXPECT_THROW(parse({"type", "--delay"}), UsageError);                  // a value is missing
  EXPECT_THROW(parse({"type", "--role", "text", "hello"}), UsageError);  // --role is for --into
  EXPECT_THROW(parse({"jump"}), UsageError);
}

TEST(VerbTable, TheCompletionsOfferEveryVerbWithExactlyItsOptions) {
  const std::string dir = VIRELO_COMPLETIONS_DIR;
  const std::string bash = fileText(dir + "/virelo.bash");
  std::smatch verbList;
  ASSERT_TRUE(std::regex_search(bash, verbList, std::regex(R"(local verbs="([^"]*)\")")));
  EXPECT_EQ(words(verbList[1]), verbNames());
  expectEveryVerbWithItsOptions(caseBranches(bash, "local options\n"), "bash");

  const std::string zsh = fileText(dir + "/_virelo");
  Names zshVerbs;
  const auto array = zsh.find("verbs=(");
  ASSERT_NE(array, std::string::npos);
  const std::string verbArray = zsh.substr(array, zsh.find("\n  )", array) - array);
  static const std::regex kDescribed(R"('([a-z-]+):)");
  for (std::sregex_iterator at(verbArray.begin(), verbArray.end(), kDescribed), end; at != end;
       ++at) {
    zshVerbs.insert((*at)[1]);
  }
  EXPECT_EQ(zshVerbs, verbNames());
  expectEveryVerbWithItsOptions(caseBranches(zsh, "case $words[1] in"), "zsh");

  const std::string fish = fileText(dir + "/virelo.fish");
  EXPECT_EQ(words(expanded("$virelo_verbs", fish)), verbNames());
  for (const auto& name : verbNames()) {
    EXPECT_NE(fish.find(" -a " + name + " -d "), std::string::npos) << "fish: " << name;
  }
  expectEveryVerbWithItsOptions(fishConditions(fish), "fish");
}

// A line of the manual page without its markup, in lower case: "*virelo type* _text_" is
// "virelo type text".
std::string plain(const std::string& line) {
  std::string text;
  for (char c : line) {
    if (c != '*' && c != '_' && c != '\\') text += static_cast<char>(std::tolower(c));
  }
  return text;
}

TEST(VerbTable, TheManualPagesSynopsisIsTheTables) {
  const std::string page = fileText(VIRELO_MANUAL_PAGE);
  const auto start = page.find("# SYNOPSIS\n");
  ASSERT_NE(start, std::string::npos);
  std::istringstream synopsis(page.substr(start, page.find("\n# ", start + 1) - start));
  std::map<std::string, std::string> lines;
  for (std::string line; std::getline(synopsis, line);) {
    std::smatch verb;
    if (std::regex_search(line, verb, std::regex(R"(^\*virelo ([a-z][a-z-]*)\*)"))) {
      lines[verb[1]] = plain(line);
    }
  }
  for (const Verb& verb : verbs()) {
    std::string expected = synopsisOf(verb);
    std::transform(expected.begin(), expected.end(), expected.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    EXPECT_EQ(lines[std::string(verb.name)], expected);
  }
  EXPECT_EQ(lines.size(), verbs().size());  // no verb the tool lacks
  for (const ToolOption& option : allOptions()) {
    EXPECT_NE(page.find("*" + std::string(option.name) + "*"), std::string::npos) << option.name;
  }
}

}  // namespace
}  // namespace virelo::tools
