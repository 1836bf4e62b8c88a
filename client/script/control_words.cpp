// The words that name a control, shared by the command line's control verbs and the script lines
// "click-on" and "wait-for".
#include <charconv>
#include <cstdlib>

#include "virelo/client/keys.h"
#include "virelo/client/script.h"

namespace virelo::client {
namespace {

// The longest wait-for: a day.
constexpr double kLongestWaitS = 86'400;

double secondsOperand(const std::string& text, const std::string& option) {
  char* end = nullptr;
  double seconds = std::strtod(text.c_str(), &end);
  if (text.empty() || end == nullptr || *end != '\0' || !(seconds >= 0) ||
      seconds > kLongestWaitS) {
    throw BadControlOption(option + " needs seconds from 0 to 86400, not \"" + text + "\"");
  }
  return seconds;
}

// A place in reading order, from 1.
std::size_t placeOperand(const std::string& text, const std::string& option) {
  std::size_t place = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), place);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || place < 1 ||
      place > 1'000'000) {
    throw BadControlOption(option + " must be a whole number from 1 to 1000000, not \"" + text +
                           "\"");
  }
  return place;
}

// The one of two exclusive options that was given: `option`, after none or itself.
void exclusive(std::optional<std::string>& given, const std::string& option) {
  if (given && *given != option) {
    throw BadControlOption(option + " and " + *given + " exclude each other");
  }
  given = option;
}

// The words that say which controls.
bool takeSelection(const std::string& option, const std::function<std::string()>& value,
                   ControlOptions& options) {
  if (option == "--role") {
    options.role = value();
  } else if (option == "--name" || option == "--name-contains" || option == "--name-regex") {
    exclusive(options.nameOption, option);
    options.name = value();
  } else if (option == "--text" || option == "--text-regex") {
    exclusive(options.textOption, option);
    options.text = value();
  } else if (option == "--app") {
    options.application = value();
  } else if (option == "--in") {
    options.container = value();
  } else if (option == "--nth") {
    options.nth = placeOperand(value(), option);
  } else if (option == "--all") {
    options.all = true;
  } else if (option == "--first") {
    options.first = true;
  } else if (option == "--list-roles") {
    options.listRoles = true;
  } else {
    return false;
  }
  return true;
}

// The words that say how to act on them, or wait for them.
bool takeManner(const std::string& option, const std::function<std::string()>& value,
                ControlOptions& options) {
  if (option == "--button") {
    const std::string name = value();
    auto bit = buttonBit(name);
    if (!bit) {
      throw BadControlOption("unknown button \"" + name + "\" (left, middle, right or 1, 2, 3)");
    }
    options.button = *bit;
  } else if (option == "--double") {
    options.twice = true;
  } else if (option == "--action") {
    options.byAction = true;
    std::string name = value();
    if (!name.empty()) options.action = std::move(name);
  } else if (option == "--gone") {
    options.gone = true;
  } else if (option == "--timeout") {
    options.timeoutS = secondsOperand(value(), option);
  } else {
    return false;
  }
  return true;
}

// A text to match as the word says: exactly, or by an RE2 expression.
NameMatch matchOf(const std::string& option, const std::string& text) {
  if (option == "--name" || option == "--text") return NameMatch::exactly(text);
  if (option == "--name-contains") return NameMatch::containing(text);
  try {
    return NameMatch::matching(text);
  } catch (const MalformedExpression& e) {
    throw BadControlOption(option + " \"" + text + "\": " + e.what());
  }
}

}  // namespace

bool takesOptionalValue(const std::string& option) {
  return option == "--action";
}

bool takeControlWord(const std::string& option, const std::function<std::string()>& value,
                     ControlOptions& options) {
  if (!takeSelection(option, value, options) && !takeManner(option, value, options)) return false;
  options.given = true;
  return true;
}

ControlQuery controlQueryOf(const ControlOptions& options, bool nameRequired) {
  if (options.nth && options.first) throw BadControlOption("--nth and --first exclude each other");
  ControlQuery query;
  query.role = options.role;
  query.application = options.application;
  query.all = options.all;
  query.nth = options.nth;
  if (options.container) query.container = NameMatch::exactly(*options.container);
  if (options.textOption) query.text = matchOf(*options.textOption, options.text);
  if (options.nameOption) {
    query.name = matchOf(*options.nameOption, options.name);
  } else if (nameRequired) {
    throw BadControlOption("name the control: --name, --name-contains or --name-regex");
  }
  return query;
}

ClickOptions clickOptionsOf(const ControlOptions& options) {
  ClickOptions click;
  click.button = options.button;
  click.twice = options.twice;
  click.first = options.first;
  click.by = options.byAction ? ClickBy::action : ClickBy::pointer;
  click.action = options.action;
  return click;
}

}  // namespace virelo::client
