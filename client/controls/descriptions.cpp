// Name matching, and how queries and controls read in messages (what applications chose escaped,
// the query as it was given).
#include <re2/re2.h>

#include <cctype>
#include <utility>

#include "message_text.h"
#include "virelo/client/controls.h"

namespace virelo::client {
namespace {

std::string quoted(const std::string& text) {
  return "\"" + text + "\"";
}

bool startsWithVowel(const std::string& text) {
  return !text.empty() && std::string("aeiou").find(static_cast<char>(std::tolower(
                              static_cast<unsigned char>(text.front())))) != std::string::npos;
}

// "1st", "2nd", "3rd", "4th", "11th", "21st", ...
std::string ordinal(std::size_t n) {
  const std::size_t tens = n % 100;
  const char* suffix = "th";
  if (tens < 11 || tens > 13) {
    if (n % 10 == 1) suffix = "st";
    if (n % 10 == 2) suffix = "nd";
    if (n % 10 == 3) suffix = "rd";
  }
  return std::to_string(n) + suffix;
}

}  // namespace

NameMatch::NameMatch(Kind kind, std::string text) : kind_(kind), text_(std::move(text)) {}

NameMatch NameMatch::exactly(std::string text) {
  return NameMatch(Kind::exact, std::move(text));
}

NameMatch NameMatch::containing(std::string text) {
  return NameMatch(Kind::containing, std::move(text));
}

// RE2 runs in time linear in the text and keeps its state on the heap, so a name of any length
// costs no stack; its memory is bounded (it falls back to a slower automaton, not a deeper one).
NameMatch NameMatch::matching(const std::string& expression) {
  RE2::Options options;
  // A malformed expression is thrown, not written to standard error.
  options.set_log_errors(false);
  auto regex = std::make_shared<const RE2>(expression, options);
  if (!regex->ok()) throw MalformedExpression(regex->error());
  NameMatch match(Kind::regex, expression);
  match.regex_ = std::move(regex);
  return match;
}

bool NameMatch::operator()(std::string_view name) const {
  switch (kind_) {
    case Kind::exact:
      return name == text_;
    case Kind::containing:
      return name.find(text_) != std::string_view::npos;
    case Kind::regex:
      return RE2::FullMatch(re2::StringPiece(name.data(), name.size()), *regex_);
  }
  return false;
}

std::string NameMatch::describe() const {
  switch (kind_) {
    case Kind::exact:
      return "named " + quoted(text_);
    case Kind::containing:
      return "with a name containing " + quoted(text_);
    case Kind::regex:
      return "with a name matching /" + text_ + "/";
  }
  return {};
}

std::string NameMatch::describeText() const {
  switch (kind_) {
    case Kind::exact:
      return "showing " + quoted(text_);
    case Kind::containing:
      return "showing a text containing " + quoted(text_);
    case Kind::regex:
      return "showing a text matching /" + text_ + "/";
  }
  return {};
}

// Built piece by piece: GCC 12's optimiser warns falsely of an overlap where a literal is put in
// front of a temporary string.
std::string ControlQuery::describe() const {
  std::string what;
  if (editable) what += "editable ";
  what += role ? *role : "control";
  std::string text;
  if (nth) {
    text = "the ";
    text += ordinal(*nth);
    text += ' ';
  } else {
    text = startsWithVowel(what) ? "an " : "a ";
  }
  text += what;
  if (name) {
    text += ' ';
    text += name->describe();
  }
  if (this->text) {
    text += ' ';
    text += this->text->describeText();
  }
  if (container) {
    text += " in a container ";
    text += container->describe();
  }
  if (application) {
    text += " of ";
    text += *application;
  }
  return text;
}

std::string Control::describe() const {
  std::string text = controlWords(*this);
  if (placed) {
    text += " at " + std::to_string(x) + "," + std::to_string(y) + " " + std::to_string(width) +
            "x" + std::to_string(height);
  } else {
    text += " at an unknown place on the screen";
  }
  if (!enabled) text += ", disabled";
  if (!visible) text += ", not visible";
  if (offScreen) text += ", off the screen";
  if (covered) text += ", covered";
  if (focused) text += ", focused";
  return text;
}

}  // namespace virelo::client
