// The keyboard layout that the input commands choose: the option, the X server's, the variable,
// then the session's configuration file.
#include "tools/virelo/layout_choice.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <map>

namespace virelo::tools {
namespace {

class ConfigFile : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "vl-config-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    std::filesystem::create_directories(dir_ + "/virelo");
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string write(const std::string& text) {
    std::string path = dir_ + "/virelo/config.json";
    std::ofstream(path) << text;
    return path;
  }

  std::string dir_;
};

TEST_F(ConfigFile, TheLayoutIsTheOptionsElseTheServersElseTheVariableElseTheFiles) {
  // No X server here: $DISPLAY is left out, so the order below it decides.
  std::map<std::string, std::string> variables = {{"XDG_CONFIG_HOME", dir_}};
  auto environment = [&](const char* name) -> const char* {
    auto found = variables.find(name);
    return found == variables.end() ? nullptr : found->second.c_str();
  };
  auto chosen = [&](std::optional<std::string> option = std::nullopt) {
    ToolArguments args;
    args.layout = std::move(option);
    LayoutChoice choice = chooseLayout(args, environment);
    return choice.layout->description() + " from " + choice.source;
  };
  EXPECT_EQ(chosen(), "us from the default");
  std::string path = write(R"j({"layout":"fr(azerty)"})j");
  EXPECT_EQ(chosen(), "fr(azerty) from " + path);
  variables["VIRELO_LAYOUT"] = "de";
  EXPECT_EQ(chosen(), "de from $VIRELO_LAYOUT");
  EXPECT_EQ(chosen("ru"), "ru from --layout");
  variables["VIRELO_LAYOUT"] = "xx";
  try {
    chosen();
    ADD_FAILURE() << "an unknown layout was taken";
  } catch (const UsageError& e) {
    EXPECT_NE(std::string(e.what()).find("$VIRELO_LAYOUT"), std::string::npos) << e.what();
  }
}

}  // namespace
}  // namespace virelo::tools
