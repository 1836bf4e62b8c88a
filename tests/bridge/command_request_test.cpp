// CommandRequest reads a line with a SAX parser straight into its fixed fields (RapidJSON's, and
// nlohmann's for the lines RapidJSON does not take). It must accept exactly the lines whose
// nlohmann JSON document is an object (but for a raw zero byte or a byte-order mark, which are not
// JSON text) and see in them exactly what the document holds under the fields commands read,
// including repeated keys, escaped names, nested values, long lists and numbers at the edges of
// their kinds.
#include "bridge/command_request.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bridge/field_readers.h"
#include "core/failure.h"

namespace virelo {
namespace {

using Kind = FieldValue::Kind;
using F = CommandField;

constexpr std::array<F, kCommandFieldCount> kFields = {F::cmd, F::token,  F::modifiers, F::keys,
                                                       F::fn,  F::usages, F::buttons,   F::snap,
                                                       F::dx,  F::dy,     F::amount,    F::tNs};

void expectSameValue(const FieldValue& a, const FieldValue& b, const std::string& where) {
  ASSERT_EQ(a.kind, b.kind) << where;
  switch (a.kind) {
    case Kind::boolean:
      EXPECT_EQ(a.boolean, b.boolean) << where;
      break;
    case Kind::negativeInteger:
      EXPECT_EQ(a.integer, b.integer) << where;
      break;
    case Kind::unsignedInteger:
      EXPECT_EQ(a.unsignedInteger, b.unsignedInteger) << where;
      break;
    case Kind::floating:
      EXPECT_EQ(a.floating, b.floating) << where;
      break;
    default:
      break;
  }
}

// The line read directly must equal the line read through nlohmann's document.
void expectSameAsDocument(const std::string& line) {
  auto document = nlohmann::json::parse(line, nullptr, false);
  CommandRequest direct;
  bool isObject = direct.parse(line);
  ASSERT_EQ(isObject, document.is_object()) << line;
  if (!isObject) return;
  CommandRequest expected;
  expected.assign(document);
  for (F f : kFields) {
    const std::string where = line + " field " + std::to_string(static_cast<int>(f));
    expectSameValue(direct[f], expected[f], where);
    if (f == F::keys || f == F::usages) {
      ASSERT_EQ(direct.list(f).size, expected.list(f).size) << where;
      for (std::size_t i = 0; i < std::min<std::size_t>(direct.list(f).size, kMaxKeys); ++i) {
        expectSameValue(direct.list(f).elements[i], expected.list(f).elements[i], where);
      }
    }
  }
  EXPECT_EQ(direct.cmd(), expected.cmd()) << line;
  EXPECT_EQ(direct.token(), expected.token()) << line;
}

TEST(CommandRequestParse, OrdinaryCommandsMatchTheDocument) {
  for (
      const char* line : {
          R"({"cmd":"keyboard","modifiers":2,"keys":[4]})",
          R"({"cmd":"keyboard","modifiers":0,"keys":[],"fn":true})",
          R"({"cmd":"hello","token":"00112233445566778899aabbccddeeff00112233445566778899aabbccddeeff"})",
          R"({"cmd":"consumer","usages":[226,233]})",
          R"({"cmd":"move","dx":-127,"dy":127,"snap":false})",
          R"({"cmd":"motion","dx":1,"dy":0,"t_ns":123456789012})",
          R"({"cmd":"wheel","amount":-3})",
          R"({"cmd":"buttons","buttons":31})",
          R"(  { "cmd" : "status" }  )",
          R"({})",
      }) {
    expectSameAsDocument(line);
  }
}

TEST(CommandRequestParse, OnlyObjectsAreAccepted) {
  for (const char* line : {"[]",
                           "[1,2]",
                           "5",
                           "\"keyboard\"",
                           "true",
                           "null",
                           "",
                           "   ",
                           "{",
                           "{\"cmd\":\"status\"",
                           "{\"cmd\":\"status\",}",
                           "{\"cmd\"}",
                           "{\"cmd\":\"status\"} x",
                           "{\"cmd\":\"status\"}{}",
                           "{'cmd':1}",
                           "{\"cmd\":01}",
                           "{\"cmd\":1.}",
                           "{\"cmd\":+1}",
                           "{\"cmd\":NaN}",
                           "{\"cmd\":\"a\tb\"}",
                           "{\"cmd\":\"\\x\"}",
                           "{\"a\":1e400}",
                           "{\"a\":-1e400}",
                           "{\"cmd\":\"\xff\"}",
                           "{\"cmd\":\"\\ud800\"}",
                           "{\"cmd\":\"status\"}\r",
                           "{/*c*/}"}) {
    expectSameAsDocument(line);
  }
}

TEST(CommandRequestParse, RepeatedKeysKeepTheLastValue) {
  expectSameAsDocument(R"({"cmd":"keyboard","modifiers":300,"modifiers":2,"keys":[4]})");
  expectSameAsDocument(R"({"keys":[1,2,3],"keys":[],"cmd":"keyboard","modifiers":1})");
  expectSameAsDocument(R"({"keys":[1,2,3],"keys":7})");
  expectSameAsDocument(R"({"cmd":"hello","cmd":5,"token":"a","token":null})");
  CommandRequest r;
  ASSERT_TRUE(r.parse(R"({"cmd":"hello","cmd":5})"));
  EXPECT_EQ(r[F::cmd].kind, Kind::unsignedInteger);
  EXPECT_EQ(r.cmd(), "");
}

TEST(CommandRequestParse, EscapedKeyNamesAreTheSameKeys) {
  expectSameAsDocument(R"({"\u0063md":"k\u0065yboard","modifiers":1,"keys":[4]})");
  CommandRequest r;
  ASSERT_TRUE(r.parse(R"({"\u0063md":"k\u0065yboard"})"));
  EXPECT_EQ(r.cmd(), "keyboard");
}

TEST(CommandRequestParse, NestedValuesOfUnreadKeysAreSkipped) {
  expectSameAsDocument(
      R"({"x":{"cmd":"reset","keys":[1]},"cmd":"status","y":[[{"modifiers":1}]]})");
  CommandRequest r;
  ASSERT_TRUE(r.parse(R"({"x":{"cmd":"reset","modifiers":9},"cmd":"status"})"));
  EXPECT_EQ(r.cmd(), "status");
  EXPECT_FALSE(r[F::modifiers].present());
}

TEST(CommandRequestParse, ListElementsKeepTheirKinds) {
  expectSameAsDocument(R"({"keys":[4,4.0,1e2,-1,"4",null,true,[4],{"a":4},18446744073709551615]})");
  expectSameAsDocument(R"({"keys":[[1,[2]],3],"usages":{"k":[1]}})");
}

TEST(CommandRequestParse, ListsLongerThanThirtyTwoAreCountedWhole) {
  std::string line = R"({"cmd":"keyboard","modifiers":0,"keys":[)";
  for (int i = 0; i < 40; ++i) line += (i ? ",4" : "4");
  line += "]}";
  expectSameAsDocument(line);
  CommandRequest r;
  ASSERT_TRUE(r.parse(line));
  EXPECT_EQ(r.list(F::keys).size, 40u);
  EXPECT_THROW(readUsages(r[F::keys], r.list(F::keys), kMaxKeyUsage, [](std::int64_t) {}),
               FailureError);
}

TEST(CommandRequestParse, NumbersAtTheEdgesOfTheirKinds) {
  for (const char* line : {
           R"({"t_ns":9223372036854775807})",
           R"({"t_ns":9223372036854775808})",
           R"({"t_ns":18446744073709551615})",
           R"({"t_ns":18446744073709551616})",
           R"({"dx":-9223372036854775808})",
           R"({"dx":-9223372036854775809})",
           R"({"dx":-0})",
           R"({"dx":-0.0})",
           R"({"modifiers":255.0})",
           R"({"modifiers":1E2})",
           R"({"modifiers":2.5})",
           R"({"modifiers":1e-400})",
           R"({"amount":1.7976931348623157e308})",
       }) {
    expectSameAsDocument(line);
  }
}

// Where the two parsers part ways on their own, the line must still read as nlohmann reads it.
TEST(CommandRequestParse, LinesTheFastReaderLeavesToNlohmannReadTheSame) {
  using namespace std::string_literals;
  for (const std::string& line : {
           R"({"cmd":"status","x":"\udc00"})"s,
           R"({"cmd":"status","\udfff":1})"s,
           R"({"cmd":"status","x":"\ud83d\ude00"})"s,
           R"({"cmd":"status","x":"\ud83d"})"s,
           "{\"cmd\":\"status\",\"x\":\"\xED\xA0\x80\"}"s,
           "{\"cmd\":\"status\",\"x\":\"\xF0\x9F\x98\x80\"}"s,
           R"({"amount":0e400})"s,
           R"({"amount":-0.0e999,"cmd":"wheel"})"s,
           R"({"amount":1000e306})"s,
           R"({"amount":0.001e310})"s,
           R"({"amount":1e-400})"s,
           R"({"amount":4.9e-324})"s,
           R"({"amount":2.2250738585072011e-308})"s,
           R"({"amount":0.1,"dx":0.30000000000000004})"s,
           R"({"cmd":"status","x":"\u0000"})"s,
           "{\"cmd\":\"status\",\"x\":\"\x7f\"}"s,
       }) {
    expectSameAsDocument(line);
  }
}

// Bytes that JSON text cannot hold, though a reader may pass over them: a raw zero byte wherever
// it stands, and a leading byte-order mark.
TEST(CommandRequestParse, ARawZeroByteOrAByteOrderMarkIsNotAnObject) {
  using namespace std::string_literals;
  CommandRequest request;
  for (const std::string& line :
       {"{\"cmd\":\"status\"}\0"s, "{\"cmd\":\"status\"}\0\xFF"s,
        "{\"cmd\":\"keyboard\"}\0{\"keys\":[4]}"s, "{\"cmd\":\"st\0atus\"}"s, "\0{}"s, "{\0}"s,
        "\xEF\xBB\xBF{}"s, "\xEF\xBB\xBF{\"cmd\":\"status\"}"s}) {
    EXPECT_FALSE(request.parse(line)) << line.size();
  }
}

TEST(CommandRequestParse, DeepNestingInAnUnreadKeyIsSkipped) {
  std::string line =
      R"({"cmd":"status","x":)" + std::string(1000, '[') + std::string(1000, ']') + "}";
  expectSameAsDocument(line);
  CommandRequest r;
  ASSERT_TRUE(r.parse(line));
  EXPECT_EQ(r.cmd(), "status");
}

TEST(CommandRequestParse, AReusedRequestForgetsThePreviousLine) {
  CommandRequest r;
  ASSERT_TRUE(r.parse(R"({"cmd":"hello","token":"abc","keys":[1,2],"modifiers":3})"));
  ASSERT_TRUE(r.parse(R"({"cmd":"status"})"));
  EXPECT_EQ(r.cmd(), "status");
  EXPECT_EQ(r.token(), "");
  EXPECT_FALSE(r[F::token].present());
  EXPECT_FALSE(r[F::modifiers].present());
  EXPECT_FALSE(r[F::keys].present());
  EXPECT_EQ(r.list(F::keys).size, 0u);
}

TEST(CommandRequestAssign, AnythingButAnObjectLeavesEveryFieldAbsent) {
  CommandRequest r;
  r.assign(nlohmann::json::array({1, 2}));
  for (F f : kFields) EXPECT_FALSE(r[f].present());
}

}  // namespace
}  // namespace virelo
