// Reading a virelo script: how lines split into words, and which lines become which actions or
// stop the script before it runs, as tables of lines and outcomes.
#include "virelo/client/script.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <sstream>
#include <streambuf>
#include <system_error>

#include "virelo/client/client.h"
#include "virelo/client/layouts.h"

namespace virelo::client {
namespace {

using Words = std::vector<std::string>;

TEST(ScriptWords, SplitLikeAShell) {
  const std::vector<std::pair<std::string, Words>> cases = {
      {"", {}},
      {"   # a comment", {}},
      {"key ctrl+a  ctrl+c\t# copy", {"key", "ctrl+a", "ctrl+c"}},
      {R"(type "Hello, \"world\"")", {"type", R"(Hello, "world")"}},
      {R"(type 'it''s \n' a\ b)", {"type", R"(its \n)", "a b"}},
      {R"(type "C:\path\\x")", {"type", R"(C:\path\x)"}},
      {"type a#b", {"type", "a#b"}},
      {"type \"\"", {"type", ""}},
      {R"(type $'a\nb\t\'c\\"'$x)", {"type", "a\nb\t'c\\\"$x"}},
  };
  for (const auto& [line, words] : cases) EXPECT_EQ(scriptWords(line), words) << line;
  for (const char* bad :
       {"type \"open", "type 'open", "type end\\", R"(type $'a\q')", R"(type $'a\')"}) {
    EXPECT_THROW(scriptWords(bad), ScriptSyntaxError) << bad;
  }
}

std::vector<ScriptAction> parse(const std::string& text) {
  std::istringstream in(text);
  return parseScript(in, client::KeyboardLayout::named(client::LayoutName{}));
}

TEST(Script, LinesBecomeActionsWithTheLayoutInEffect) {
  auto actions = parse(
      "# setup\n"
      "keydown shift\n"
      "key ctrl+a ctrl+c\n"
      "click 3\n"
      "mousemove_relative -5 +7\n"
      "typedelay 20\n"
      "layout de\n"
      "type \"ä y\"\n"
      "click-on --role push-button --name-regex \"O.\" --double --first\n"
      "wait-for --name OK --gone --timeout 0.5\n");
  ASSERT_EQ(actions.size(), 9u);
  EXPECT_EQ(actions[0].line, 2);
  EXPECT_EQ(actions[0].chords.front().modifiers, client::modifier::leftShift);
  EXPECT_EQ(actions[1].chords.size(), 2u);
  EXPECT_EQ(actions[2].button, client::button::secondary);
  EXPECT_EQ(actions[3].dx, -5);
  EXPECT_EQ(actions[3].dy, 7);
  EXPECT_EQ(actions[4].time, std::chrono::milliseconds(20));
  EXPECT_EQ(actions[6].text, "ä y");
  EXPECT_EQ(actions[6].keyboardLayout->description(),
            client::KeyboardLayout::named(client::parseLayoutName("de"))->description());
  EXPECT_NE(actions[4].keyboardLayout->description(), actions[6].keyboardLayout->description());
  const ControlOptions& click = actions[7].control;
  EXPECT_EQ(actions[7].verb, ScriptVerb::clickOn);
  EXPECT_EQ(click.role, "push-button");
  EXPECT_TRUE(click.twice && click.first);
  EXPECT_EQ(click.nameOption, "--name-regex");
  EXPECT_EQ(actions[8].verb, ScriptVerb::waitFor);
  EXPECT_TRUE(actions[8].control.gone);
  EXPECT_EQ(actions[8].control.timeoutS, 0.5);
}

// --action's name may be left out, and the word after it is then the next option.
TEST(Script, ControlLinesTakeTheNewSelectionsAndAnActionWithOrWithoutItsName) {
  auto actions = parse(
      "click-on --name Pick --in \"Left group\" --nth 2 --action\n"
      "click-on --name OK --action toggle --first\n"
      "wait-for --role text --text-regex \"done \\d+\"\n");
  ASSERT_EQ(actions.size(), 3u);
  const ControlOptions& pick = actions[0].control;
  EXPECT_TRUE(pick.byAction);
  EXPECT_FALSE(pick.action);
  EXPECT_EQ(pick.container, "Left group");
  EXPECT_EQ(pick.nth, 2u);
  EXPECT_EQ(actions[1].control.action, "toggle");
  EXPECT_TRUE(actions[1].control.first);
  EXPECT_EQ(actions[2].control.textOption, "--text-regex");
  EXPECT_EQ(actions[2].control.text, "done \\d+");
}

TEST(Script, AWrongLineStopsTheScriptNamingItsNumber) {
  // An X server would type the "ä" below with a borrowed key; the script is read as without one.
  const std::string display = std::getenv("DISPLAY") != nullptr ? std::getenv("DISPLAY") : "";
  ::unsetenv("DISPLAY");
  const std::string thirtyTwoKeys =
      "a+b+c+d+e+f+g+h+i+j+k+l+m+n+o+p+q+r+s+t+u+v+w+x+y+z+1+2+3+4+5+6";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"click\ntpye hi\n", "line 2: unknown verb \"tpye\""},
      {"type hello world\n", "line 1: \"type\" takes 1 argument(s), not 2 (quote a text"},
      {"key\n", "line 1: \"key\" takes 1 to any argument(s), not 0"},
      {"key ctrl+banana\n", "line 1: "},
      {"type \"ä\"\n", "line 1: "},  // not on the US layout
      {"key a Hyper_L\n", "line 1: no key of the layout gives Hyper_L, and a key can be borrowed"},
      {"wheel 1.5\n", "line 1: N must be a whole number"},
      {"sleep -1\n", "line 1: MS must be a whole number from 0"},
      {"buttondown 4\n", "line 1: unknown button \"4\""},
      {"media louder\n", "line 1: unknown media key"},
      {"layout xx\n", "line 1: "},
      {"\n\ntype \"open\n", "line 3: no closing \""},
      {"mousemove -1 10\n", "line 1: X must be a whole number from 0"},
      {"click-on --role push-button\n", "line 1: name the control: --name"},
      {"click-on --name OK --gone\n", "line 1: \"click-on\" does not take \"--gone\""},
      {"wait-for --name OK --first\n", "line 1: \"wait-for\" does not take \"--first\""},
      {"wait-for --name OK --name-contains K\n", "line 1: --name-contains and --name exclude"},
      {"wait-for --name-regex \"(\"\n", "line 1: --name-regex \"(\": "},
      {"wait-for --name OK --timeout soon\n", "line 1: --timeout needs seconds"},
      {"click-on --name OK --button 4\n", "line 1: unknown button \"4\""},
      {"wait-for --name OK --action\n", "line 1: \"wait-for\" does not take \"--action\""},
      {"key a\ntype " + std::string(70'000, 'a'), "line 2: longer than 65536 bytes"},
      {"keydown " + thirtyTwoKeys + "+8\n", "line 1: this would hold 33 keys and 0 media keys"},
      {"keydown " + thirtyTwoKeys + "\nkey 8\n", "line 2: this would hold 33 keys"},
  };
  for (const auto& [script, message] : cases) {
    try {
      parse(script);
      ADD_FAILURE() << "accepted: " << script;
    } catch (const ScriptError& e) {
      EXPECT_EQ(std::string(e.what()).rfind(message, 0), 0u) << e.what();
    }
  }
  EXPECT_NO_THROW(parse("keydown " + thirtyTwoKeys + "\nkeyup a\nkey 8\n"));  // a let go
  if (!display.empty()) ::setenv("DISPLAY", display.c_str(), 1);
}

// Gives its text, then fails as a read from a broken disk or pipe does.
class FailingInput : public std::streambuf {
 public:
  explicit FailingInput(std::string text) : text_(std::move(text)) {
    setg(text_.data(), text_.data(), text_.data() + text_.size());
  }

 protected:
  int_type underflow() override { throw std::system_error(EIO, std::generic_category()); }

 private:
  std::string text_;
};

TEST(Script, AFailedReadIsAnErrorNotTheEnd) {
  FailingInput failing("key a\nkey b\n");
  std::istream in(&failing);
  try {
    parseScript(in, client::KeyboardLayout::named(client::LayoutName{}));
    ADD_FAILURE() << "a failed read was taken for the end of the script";
  } catch (const ScriptError& e) {
    EXPECT_EQ(std::string(e.what()),
              "line 3: cannot be read: " + std::error_code(EIO, std::generic_category()).message());
  }
}

}  // namespace
}  // namespace virelo::client
