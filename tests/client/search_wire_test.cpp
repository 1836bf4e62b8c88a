// The lines between a client and the session's control search server: a query and a reply come
// through whole, and what cannot travel is refused rather than changed.
#include "search_wire.h"

#include <gtest/gtest.h>

namespace virelo::client {
namespace {

TEST(SearchWire, AQueryComesThroughWithEveryPartButItsPlace) {
  SearchRequest sent;
  sent.display = ":7";
  sent.bus = "unix:path=/run/user/1000/bus";
  sent.query.role = "push button";
  sent.query.name = NameMatch::matching("(?i)o[kK]");
  sent.query.application = "gedit";
  sent.query.all = true;
  sent.query.editable = true;
  sent.query.container = NameMatch::containing("Panel");
  sent.query.text = NameMatch::exactly("done");
  sent.query.nth = 3;
  const std::string line = requestLine(sent);
  ASSERT_EQ(line.back(), '\n');
  const SearchRequest got = parseRequest(std::string_view(line).substr(0, line.size() - 1));
  EXPECT_EQ(got.display, ":7");
  EXPECT_EQ(got.bus, sent.bus);
  ControlQuery placeless = sent.query;
  placeless.nth.reset();
  // The description names the role, each match with its kind and text, and the application.
  EXPECT_EQ(got.query.describe(), placeless.describe());
  EXPECT_TRUE(got.query.all);
  ASSERT_TRUE(got.query.name);
  EXPECT_TRUE((*got.query.name)("Ok"));
  EXPECT_FALSE(got.query.nth);
}

TEST(SearchWire, AReplyGivesTheControlsInOrderAndTheApplicationsThatDidNotAnswer) {
  Control field;
  field.role = "text";
  field.name = "Last name";
  field.application = "app";
  field.pid = 42;
  field.x = 10;
  field.y = 20;
  field.width = 30;
  field.height = 40;
  field.enabled = field.visible = field.focusable = field.editable = field.covered = true;
  field.stacking = 2;
  field.text = std::string("Smith\nJones");
  Control slider;
  slider.role = "slider";
  slider.value = ControlValue{0.5, 0, 1};
  ReplyReader reader;
  for (const std::string& line :
       {searchingLine(), controlLine(field), controlLine(slider), doneLine({"frozen app"})}) {
    ASSERT_EQ(line.find('\n'), line.size() - 1) << line;
    EXPECT_EQ(reader.take(line), line == doneLine({"frozen app"}));
  }
  EXPECT_TRUE(reader.searching());
  EXPECT_FALSE(reader.refused());
  const FoundControls& found = reader.found();
  ASSERT_EQ(found.controls.size(), 2u);
  EXPECT_EQ(found.controls[0].describe(), field.describe());
  EXPECT_EQ(found.controls[0].text, field.text);
  EXPECT_EQ(found.controls[0].stacking, 2);
  ASSERT_TRUE(found.controls[1].value);
  EXPECT_EQ(found.controls[1].value->current, 0.5);
  EXPECT_EQ(found.unanswering, std::vector<std::string>{"frozen app"});
}

TEST(SearchWire, ARefusalEndsTheReplyWithItsKindAndMessage) {
  ReplyReader reader;
  EXPECT_TRUE(reader.take(refusalLine(SearchRefusal::unknownRole, "no role \"buton\"")));
  ASSERT_TRUE(reader.refused());
  EXPECT_EQ(reader.refused()->refusal, SearchRefusal::unknownRole);
  EXPECT_EQ(reader.refused()->message, "no role \"buton\"");
}

TEST(SearchWire, APressCarriesItsPlaceAndTheReplySaysWhatWasPressed) {
  SearchRequest sent;
  sent.display = ":7";
  sent.query.name = NameMatch::exactly("OK");
  sent.press = PressRequest{2, true, "click", 2};
  const std::string line = requestLine(sent);
  const SearchRequest got = parseRequest(std::string_view(line).substr(0, line.size() - 1));
  ASSERT_TRUE(got.press);
  EXPECT_EQ(got.press->nth, 2u);
  EXPECT_TRUE(got.press->first);
  EXPECT_EQ(got.press->action, "click");
  EXPECT_EQ(got.press->times, 2);
  EXPECT_FALSE(
      parseRequest(R"({"display":"","bus":"","query":{"all":false,"editable":false}})").press);
  EXPECT_THROW(parseRequest(R"({"display":"","bus":"","query":{"all":false,"editable":false},)"
                            R"("press":{"first":false,"times":9}})"),
               MalformedLine);
  ReplyReader pressed;
  EXPECT_FALSE(pressed.take(pressedLine("click")));
  EXPECT_TRUE(pressed.take(doneLine({})));
  EXPECT_EQ(pressed.pressed(), "click");
  ReplyReader unpressed;
  EXPECT_FALSE(unpressed.take(unpressedLine("no action \"toggle\"")));
  EXPECT_EQ(unpressed.unpressed(), "no action \"toggle\"");
  EXPECT_FALSE(unpressed.pressed());
}

TEST(SearchWire, WhatCannotTravelIsRefusedNotChanged) {
  Control odd;
  odd.name = "caf\xe9";  // Latin-1, not UTF-8
  EXPECT_THROW(controlLine(odd), MalformedLine);
  ReplyReader reader;
  EXPECT_THROW(reader.take("{\"control\":{\"role\":1}}"), MalformedLine);
  EXPECT_THROW(reader.take("[1,2]"), MalformedLine);
  EXPECT_THROW(parseRequest("{\"display\":\":0\"}"), MalformedLine);
  EXPECT_THROW(parseRequest(R"({"display":":0","bus":"","query":{"all":false,"editable":false,)"
                            R"("name":{"match":"matching","text":"("}}})"),
               MalformedExpression);
}

}  // namespace
}  // namespace virelo::client
