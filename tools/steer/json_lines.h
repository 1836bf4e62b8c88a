// Where each object key of a JSON text stands: the line of every key, by its path of keys from
// the top ("steer/profiles/fine/exponent"; an array's elements add "[]"). For messages that name
// the line of a wrong value, which the JSON parser does not keep.
#pragma once

#include <map>
#include <string>

namespace virelo::steer {

std::map<std::string, int> keyLines(const std::string& text);
// The line of a byte offset of the text.
int lineAt(const std::string& text, std::size_t offset);

}  // namespace virelo::steer
