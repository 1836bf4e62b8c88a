// The command line: exactly <program> --socket <path> --backend <name>.
#include "service/command_line.h"

#include <gtest/gtest.h>

#include <vector>

namespace virelo {
namespace {

std::optional<CommandLine> parse(std::vector<const char*> argv) {
  return parseCommandLine(argv);
}

TEST(CommandLineParse, BothBackendsInTheRightOrder) {
  auto corehid = parse({"virelo", "--socket", "/tmp/a/s", "--backend", "corehid"});
  ASSERT_TRUE(corehid);
  EXPECT_EQ(corehid->socketPath, "/tmp/a/s");
  EXPECT_EQ(corehid->backend, InputBackend::corehid);
  auto cgevent = parse({"virelo", "--socket", "rel/s", "--backend", "cgevent"});
  ASSERT_TRUE(cgevent);
  EXPECT_EQ(cgevent->backend, InputBackend::cgevent);
  EXPECT_EQ(cgevent->socketPath, "rel/s");
}

TEST(CommandLineParse, NoArgumentsIsMalformed) {
  EXPECT_FALSE(parse({"virelo"}));
  EXPECT_FALSE(parse({}));
}

TEST(CommandLineParse, OptionsInTheOtherOrderAreMalformed) {
  EXPECT_FALSE(parse({"virelo", "--backend", "corehid", "--socket", "/tmp/a/s"}));
}

TEST(CommandLineParse, MissingValueOrExtraArgumentIsMalformed) {
  EXPECT_FALSE(parse({"virelo", "--socket", "--backend", "corehid"}));
  EXPECT_FALSE(parse({"virelo", "--socket", "/tmp/a/s", "--backend"}));
  EXPECT_FALSE(parse({"virelo", "--socket", "/tmp/a/s", "--backend", "corehid", "extra"}));
}

TEST(CommandLineParse, OptionNamesAndBackendNamesAreCaseSensitive) {
  EXPECT_FALSE(parse({"virelo", "--Socket", "/tmp/a/s", "--backend", "corehid"}));
  EXPECT_FALSE(parse({"virelo", "--socket", "/tmp/a/s", "--BACKEND", "corehid"}));
  EXPECT_FALSE(parse({"virelo", "--socket", "/tmp/a/s", "--backend", "COREHID"}));
  EXPECT_FALSE(parse({"virelo", "--socket", "/tmp/a/s", "--backend", "CGEvent"}));
}

TEST(CommandLineParse, BackendNameMustMatchWhole) {
  EXPECT_FALSE(parse({"virelo", "--socket", "/tmp/a/s", "--backend", "corehid "}));
  EXPECT_FALSE(parse({"virelo", "--socket", "/tmp/a/s", "--backend", "core"}));
  EXPECT_FALSE(parse({"virelo", "--socket", "/tmp/a/s", "--backend", ""}));
  EXPECT_FALSE(parse({"virelo", "--socket", "/tmp/a/s", "--backend", "uinput"}));
}

TEST(CommandLineParse, ValuesJoinedWithEqualsAreMalformed) {
  EXPECT_FALSE(parse({"virelo", "--socket=/tmp/a/s", "--backend=corehid"}));
  EXPECT_FALSE(parse({"virelo", "--socket=/tmp/a/s", "--backend", "corehid", "x"}));
  EXPECT_FALSE(parse({"virelo", "--socket", "/tmp/a/s", "--backend=corehid", "corehid"}));
}

}  // namespace
}  // namespace virelo
