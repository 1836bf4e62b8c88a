#include "bridge/command_request.h"

#include <rapidjson/memorystream.h>
#include <rapidjson/reader.h>

#include <charconv>
#include <cmath>
#include <optional>

#include "virelo/protocol/names.h"

namespace virelo {
namespace {

using Kind = FieldValue::Kind;

namespace fields = protocol::fields;

// In the order of CommandField.
constexpr std::array<std::string_view, kCommandFieldCount> kNames = {
    fields::cmd,     fields::token, fields::modifiers, fields::keys, fields::fn,     fields::usages,
    fields::buttons, fields::snap,  fields::dx,        fields::dy,   fields::amount, fields::tNs};

std::optional<CommandField> fieldNamed(std::string_view key) {
  for (std::size_t i = 0; i < kNames.size(); ++i) {
    if (kNames[i] == key) return static_cast<CommandField>(i);
  }
  return std::nullopt;
}

bool isList(CommandField f) {
  return f == CommandField::keys || f == CommandField::usages;
}

}  // namespace

FieldValue fieldValue(const nlohmann::json& value) {
  FieldValue v;
  switch (value.type()) {
    case nlohmann::json::value_t::null:
      v.kind = Kind::null;
      break;
    case nlohmann::json::value_t::boolean:
      v.kind = Kind::boolean;
      v.boolean = value.get<bool>();
      break;
    case nlohmann::json::value_t::number_integer:
      v.kind = Kind::negativeInteger;
      v.integer = value.get<std::int64_t>();
      break;
    case nlohmann::json::value_t::number_unsigned:
      v.kind = Kind::unsignedInteger;
      v.unsignedInteger = value.get<std::uint64_t>();
      break;
    case nlohmann::json::value_t::number_float:
      v.kind = Kind::floating;
      v.floating = value.get<double>();
      break;
    case nlohmann::json::value_t::string:
      v.kind = Kind::string;
      break;
    case nlohmann::json::value_t::array:
      v.kind = Kind::array;
      break;
    default:
      v.kind = Kind::object;  // objects, and binary values, which JSON text cannot hold
      break;
  }
  return v;
}

// The field reader: a SAX parser (RapidJSON's or nlohmann's) checks the whole text and reports its
// values here, and only the fields of the top-level object that a command reads are kept. Nothing
// is built for the rest, so reading a line allocates nothing of its own.
class CommandRequestReader {
 public:
  using number_integer_t = nlohmann::json::number_integer_t;
  using number_unsigned_t = nlohmann::json::number_unsigned_t;
  using number_float_t = nlohmann::json::number_float_t;
  using string_t = nlohmann::json::string_t;
  using binary_t = nlohmann::json::binary_t;

  explicit CommandRequestReader(CommandRequest& request) : r_(request) {}

  bool null() { return scalar(Kind::null); }
  bool boolean(bool b) {
    FieldValue* v = slot(Kind::boolean);
    if (v) v->boolean = b;
    return depth_ > 0;
  }
  bool number_integer(number_integer_t n) {
    FieldValue* v = slot(Kind::negativeInteger);
    if (v) v->integer = n;
    return depth_ > 0;
  }
  bool number_unsigned(number_unsigned_t n) {
    FieldValue* v = slot(Kind::unsignedInteger);
    if (v) v->unsignedInteger = n;
    return depth_ > 0;
  }
  bool number_float(number_float_t d, const string_t&) { return floating(d); }
  bool floating(double d) {
    FieldValue* v = slot(Kind::floating);
    if (v) v->floating = d;
    return depth_ > 0;
  }
  bool string(string_t& s) { return text(s); }
  bool text(std::string_view s) {
    if (depth_ == 1 && current_) {
      if (*current_ == CommandField::cmd) r_.cmd_.assign(s);
      if (*current_ == CommandField::token) r_.token_.assign(s);
    }
    return scalar(Kind::string);
  }
  bool binary(binary_t&) { return false; }
  bool start_object(std::size_t) {
    if (depth_ == 0) {
      depth_ = 1;
      return true;
    }
    return open(Kind::object);
  }
  bool key(string_t& k) { return name(k); }
  bool name(std::string_view k) {
    if (depth_ == 1) {
      current_ = fieldNamed(k);
      if (current_) r_.reset(*current_);
    }
    return true;
  }
  bool end_object() {
    --depth_;
    return true;
  }
  bool start_array(std::size_t) {
    if (depth_ == 0) return false;  // the top level must be an object
    bool opensList = depth_ == 1 && current_ && isList(*current_);
    bool ok = open(Kind::array);
    if (opensList) list_ = &r_.mutableList(*current_);
    return ok;
  }
  bool end_array() {
    --depth_;
    if (depth_ == 1) list_ = nullptr;
    return true;
  }
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) {
    return false;
  }

 private:
  // Where a scalar of this kind goes: the current field of the top-level object, the next
  // element of a usage list, or nowhere. At depth 0 the top level is not an object.
  FieldValue* slot(Kind kind) {
    FieldValue* v = nullptr;
    if (depth_ == 1 && current_) {
      v = &r_.values_[static_cast<std::size_t>(*current_)];
    } else if (depth_ == 2 && list_) {
      if (list_->size < list_->elements.size()) v = &list_->elements[list_->size];
      ++list_->size;
    }
    if (v) v->kind = kind;
    return v;
  }
  bool scalar(Kind kind) {
    slot(kind);
    return depth_ > 0;
  }
  bool open(Kind kind) {
    slot(kind);
    ++depth_;
    return true;
  }

  CommandRequest& r_;
  int depth_ = 0;  // 1 inside the top-level object
  std::optional<CommandField> current_;
  FieldList* list_ = nullptr;  // the usage list being read, at depth 2
};

// The fast path: RapidJSON's SAX reader, kept from line to line so that its buffers are reused
// (nlohmann's parser creates its buffers for every call). It checks the same grammar and UTF-8
// rules; a line it does not take without doubt is read again by nlohmann's parser, whose answer
// counts. Those are the lines it refuses (refusals are rare: they end the client; RapidJSON also
// refuses a zero with a huge exponent), a number whose value leaves the range of a double, and a
// string with an escaped unpaired low surrogate (let through by RapidJSON, refused by nlohmann).
// Lines with a zero byte or a leading byte-order mark never reach either reader (see parse).
class FastCommandReader {
 public:
  bool parse(std::string_view line, CommandRequest& request) {
    Handler handler(request);
    rapidjson::MemoryStream stream(line.data(), line.size());
    constexpr unsigned kFlags = rapidjson::kParseValidateEncodingFlag |
                                rapidjson::kParseNumbersAsStringsFlag |
                                rapidjson::kParseIterativeFlag;
    return !reader_.Parse<kFlags>(stream, handler).IsError();
  }

 private:
  // RapidJSON's handler interface over the reader that keeps the fields.
  struct Handler {
    explicit Handler(CommandRequest& request) : fields(request) {}
    bool Null() { return fields.null(); }
    bool Bool(bool b) { return fields.boolean(b); }
    // Numbers arrive as their text and are converted here the way nlohmann does: a whole number
    // as a 64-bit integer when it fits, anything else as a double. Where that conversion leaves
    // the range of a double, nlohmann is asked.
    bool RawNumber(const char* s, rapidjson::SizeType n, bool) {
      const char* end = s + n;
      if (std::string_view(s, n).find_first_of(".eE") == std::string_view::npos) {
        if (*s == '-') {
          std::int64_t i;
          if (std::from_chars(s, end, i).ec == std::errc()) return fields.number_integer(i);
        } else {
          std::uint64_t u;
          if (std::from_chars(s, end, u).ec == std::errc()) return fields.number_unsigned(u);
        }
      }
      double d;
      auto [last, ec] = std::from_chars(s, end, d);
      return ec == std::errc() && last == end && std::isfinite(d) && fields.floating(d);
    }
    // Not called: numbers come as text.
    bool Int(int) { return false; }
    bool Uint(unsigned) { return false; }
    bool Int64(std::int64_t) { return false; }
    bool Uint64(std::uint64_t) { return false; }
    bool Double(double) { return false; }
    bool String(const char* s, rapidjson::SizeType n, bool) {
      return pairedSurrogates({s, n}) && fields.text({s, n});
    }
    bool Key(const char* s, rapidjson::SizeType n, bool) {
      return pairedSurrogates({s, n}) && fields.name({s, n});
    }
    bool StartObject() { return fields.start_object(0); }
    bool EndObject(rapidjson::SizeType) { return fields.end_object(); }
    bool StartArray() { return fields.start_array(0); }
    bool EndArray(rapidjson::SizeType) { return fields.end_array(); }

    // A surrogate code point in the decoded text (UTF-8 ED A0..ED BF) can only come from an
    // escape that was not part of a pair.
    static bool pairedSurrogates(std::string_view text) {
      for (std::size_t i = text.find('\xED'); i != std::string_view::npos;
           i = text.find('\xED', i + 1)) {
        if (i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0xA0) return false;
      }
      return true;
    }

    CommandRequestReader fields;
  };

  rapidjson::Reader reader_;
};

CommandRequest::CommandRequest() = default;
CommandRequest::~CommandRequest() = default;
CommandRequest::CommandRequest(CommandRequest&&) noexcept = default;
CommandRequest& CommandRequest::operator=(CommandRequest&&) noexcept = default;

void CommandRequest::clear() {
  values_.fill(FieldValue{});
  keys_.size = 0;
  usages_.size = 0;
  cmd_.clear();
  token_.clear();
}

void CommandRequest::reset(CommandField f) {
  values_[static_cast<std::size_t>(f)] = FieldValue{};
  if (isList(f)) mutableList(f).size = 0;
  if (f == CommandField::cmd) cmd_.clear();
  if (f == CommandField::token) token_.clear();
}

bool CommandRequest::parse(std::string_view line) {
  clear();
  // Neither is JSON text, and both readers would let the line through: a raw zero byte (allowed
  // nowhere; in a string it must be escaped), which both take as the end of the text, and a
  // byte-order mark, which nlohmann skips.
  if (line.find('\0') != std::string_view::npos || line.starts_with("\xEF\xBB\xBF")) return false;
  if (!fast_) fast_ = std::make_unique<FastCommandReader>();
  if (fast_->parse(line, *this)) return true;
  clear();
  CommandRequestReader reader(*this);
  return nlohmann::json::sax_parse(line.begin(), line.end(), &reader);
}

void CommandRequest::assign(const nlohmann::json& object) {
  clear();
  if (!object.is_object()) return;
  for (const auto& [key, value] : object.items()) {
    auto f = fieldNamed(key);
    if (!f) continue;
    values_[static_cast<std::size_t>(*f)] = fieldValue(value);
    if (value.is_string()) {
      if (*f == CommandField::cmd) cmd_ = value.get<std::string>();
      if (*f == CommandField::token) token_ = value.get<std::string>();
    }
    if (isList(*f) && value.is_array()) {
      FieldList& list = mutableList(*f);
      for (const auto& element : value) {
        if (list.size < list.elements.size()) list.elements[list.size] = fieldValue(element);
        ++list.size;
      }
    }
  }
}

}  // namespace virelo
