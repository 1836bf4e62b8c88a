#include "search_wire.h"

#include <nlohmann/json.hpp>

namespace virelo::client {

using nlohmann::json;

// NameMatch's own form, which only it and this exchange see.
class NameMatchWire {
 public:
  static json encode(const NameMatch& match) {
    const char* kind = match.kind_ == NameMatch::Kind::exact        ? "exactly"
                       : match.kind_ == NameMatch::Kind::containing ? "containing"
                                                                    : "matching";
    return {{"match", kind}, {"text", match.text_}};
  }
  static NameMatch decode(const json& object) {
    const auto kind = object.at("match").get<std::string>();
    auto text = object.at("text").get<std::string>();
    if (kind == "exactly") return NameMatch::exactly(std::move(text));
    if (kind == "containing") return NameMatch::containing(std::move(text));
    if (kind == "matching") return NameMatch::matching(text);
    throw MalformedLine("unknown name match \"" + kind + "\"");
  }
};

namespace {

constexpr const char* kRefusals[] = {"unknown_role", "unavailable", "other_desktop", "malformed"};

// One line of the object; a text that is not UTF-8 cannot be one.
std::string line(const json& object) {
  try {
    return object.dump() + "\n";
  } catch (const json::type_error& e) {
    throw MalformedLine(e.what());
  }
}

json queryObject(const ControlQuery& query) {
  json object = {{"all", query.all}, {"editable", query.editable}};
  if (query.role) object["role"] = *query.role;
  if (query.name) object["name"] = NameMatchWire::encode(*query.name);
  if (query.application) object["application"] = *query.application;
  if (query.container) object["container"] = NameMatchWire::encode(*query.container);
  if (query.text) object["text"] = NameMatchWire::encode(*query.text);
  return object;
}

ControlQuery queryOf(const json& object) {
  ControlQuery query;
  query.all = object.at("all").get<bool>();
  query.editable = object.at("editable").get<bool>();
  if (object.contains("role")) query.role = object.at("role").get<std::string>();
  if (object.contains("name")) query.name = NameMatchWire::decode(object.at("name"));
  if (object.contains("application")) {
    query.application = object.at("application").get<std::string>();
  }
  if (object.contains("container")) {
    query.container = NameMatchWire::decode(object.at("container"));
  }
  if (object.contains("text")) query.text = NameMatchWire::decode(object.at("text"));
  return query;
}

json controlObject(const Control& c) {
  json object = {{"role", c.role},
                 {"name", c.name},
                 {"application", c.application},
                 {"pid", c.pid},
                 {"x", c.x},
                 {"y", c.y},
                 {"width", c.width},
                 {"height", c.height},
                 {"enabled", c.enabled},
                 {"visible", c.visible},
                 {"focused", c.focused},
                 {"focusable", c.focusable},
                 {"editable", c.editable},
                 {"covered", c.covered},
                 {"offscreen", c.offScreen},
                 {"stacking", c.stacking}};
  if (c.text) object["text"] = *c.text;
  if (c.value) {
    object["value"] = {{"current", c.value->current},
                       {"minimum", c.value->minimum},
                       {"maximum", c.value->maximum}};
  }
  return object;
}

Control controlOf(const json& object) {
  Control c;
  c.role = object.at("role").get<std::string>();
  c.name = object.at("name").get<std::string>();
  c.application = object.at("application").get<std::string>();
  c.pid = object.at("pid").get<int>();
  c.x = object.at("x").get<int>();
  c.y = object.at("y").get<int>();
  c.width = object.at("width").get<int>();
  c.height = object.at("height").get<int>();
  c.enabled = object.at("enabled").get<bool>();
  c.visible = object.at("visible").get<bool>();
  c.focused = object.at("focused").get<bool>();
  c.focusable = object.at("focusable").get<bool>();
  c.editable = object.at("editable").get<bool>();
  c.covered = object.at("covered").get<bool>();
  c.offScreen = object.at("offscreen").get<bool>();
  c.stacking = object.at("stacking").get<int>();
  if (object.contains("text")) c.text = object.at("text").get<std::string>();
  if (object.contains("value")) {
    const json& v = object.at("value");
    c.value = ControlValue{v.at("current").get<double>(), v.at("minimum").get<double>(),
                           v.at("maximum").get<double>()};
  }
  return c;
}

json parsed(std::string_view line) {
  json object = json::parse(line, nullptr, false);
  if (!object.is_object()) throw MalformedLine("not a JSON object");
  return object;
}

// Runs the reading, with the JSON library's complaints as malformed lines.
template <typename Read>
auto reading(Read&& read) {
  try {
    return read();
  } catch (const json::exception& e) {
    throw MalformedLine(e.what());
  }
}

json pressObject(const PressRequest& press) {
  json object = {{"first", press.first}, {"times", press.times}};
  if (press.nth) object["nth"] = *press.nth;
  if (press.action) object["action"] = *press.action;
  return object;
}

PressRequest pressOf(const json& object) {
  PressRequest press;
  press.first = object.at("first").get<bool>();
  press.times = object.at("times").get<int>();
  if (press.times < 1 || press.times > 2) throw MalformedLine("a press is done once or twice");
  if (object.contains("nth")) press.nth = object.at("nth").get<std::size_t>();
  if (object.contains("action")) press.action = object.at("action").get<std::string>();
  return press;
}

}  // namespace

std::string requestLine(const SearchRequest& request) {
  json object = {
      {"display", request.display}, {"bus", request.bus}, {"query", queryObject(request.query)}};
  if (request.press) object["press"] = pressObject(*request.press);
  return line(object);
}

SearchRequest parseRequest(std::string_view text) {
  const json object = parsed(text);
  return reading([&] {
    SearchRequest request;
    request.display = object.at("display").get<std::string>();
    request.bus = object.at("bus").get<std::string>();
    request.query = queryOf(object.at("query"));
    if (object.contains("press")) request.press = pressOf(object.at("press"));
    return request;
  });
}

std::string searchingLine() {
  return line({{"searching", true}});
}

std::string controlLine(const Control& control) {
  return line({{"control", controlObject(control)}});
}

std::string doneLine(const std::vector<std::string>& unanswering) {
  return line({{"done", true}, {"unanswering", unanswering}});
}

std::string refusalLine(SearchRefusal refusal, const std::string& message) {
  return line({{"error", kRefusals[static_cast<int>(refusal)]}, {"message", message}});
}

std::string pressedLine(const std::string& action) {
  return line({{"pressed", action}});
}

std::string unpressedLine(const std::string& message) {
  return line({{"unpressed", message}});
}

bool ReplyReader::take(std::string_view text) {
  const json object = parsed(text);
  return reading([&] {
    if (object.contains("searching")) {
      searching_ = true;
      return false;
    }
    if (object.contains("control")) {
      found_.controls.push_back(controlOf(object.at("control")));
      return false;
    }
    if (object.contains("pressed")) {
      pressed_ = object.at("pressed").get<std::string>();
      return false;
    }
    if (object.contains("unpressed")) {
      unpressed_ = object.at("unpressed").get<std::string>();
      return false;
    }
    if (object.contains("done")) {
      found_.unanswering = object.at("unanswering").get<std::vector<std::string>>();
      return true;
    }
    const auto error = object.at("error").get<std::string>();
    for (int i = 0; i < 4; ++i) {
      if (error == kRefusals[i]) {
        refused_ = Refused{static_cast<SearchRefusal>(i), object.at("message").get<std::string>()};
        return true;
      }
    }
    throw MalformedLine("unknown error \"" + error + "\"");
  });
}

}  // namespace virelo::client
