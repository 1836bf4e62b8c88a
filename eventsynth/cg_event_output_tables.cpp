// The key-code and media tables of CGEventOutput.
#include <initializer_list>

#include "eventsynth/cg_event_output.h"

namespace virelo {
namespace {

void addRun(std::map<int, std::uint16_t>& table, int firstUsage,
            std::initializer_list<std::uint16_t> codes) {
  int usage = firstUsage;
  for (auto code : codes) table[usage++] = code;
}

// The function keys first to last, from firstUsage on.
void addFunctionKeys(std::map<int, std::uint16_t>& table, int firstUsage, std::size_t first,
                     std::size_t last) {
  int usage = firstUsage;
  for (auto number = first; number <= last; ++number) table[usage++] = functionKeycode(number);
}

}  // namespace

const std::map<int, std::uint16_t>& CGEventOutput::keycodes() {
  static const std::map<int, std::uint16_t> table = [] {
    std::map<int, std::uint16_t> t;
    // A to Z
    addRun(t, 0x04, {0,  11, 8,  2,  14, 3, 5,  4,  34, 38, 40, 37, 46,
                     45, 31, 35, 12, 15, 1, 17, 32, 9,  13, 7,  16, 6});
    // 1 to 9, 0
    addRun(t, 0x1E, {18, 19, 20, 21, 23, 22, 26, 28, 25, 29});
    // Return, Escape, Backspace, Tab, Space, minus, equals, brackets, backslash
    addRun(t, 0x28, {36, 53, 51, 48, 49, 27, 24, 33, 30, 42});
    // semicolon, quote, grave accent, comma, period, slash
    addRun(t, 0x33, {41, 39, 50, 43, 47, 44});
    // Caps Lock
    addRun(t, 0x39, {kCapsLockKeycode});
    // F1 to F12
    addFunctionKeys(t, 0x3A, 1, 12);
    // Print Screen, Scroll Lock, Pause as F13, F14, F15
    addFunctionKeys(t, 0x46, 13, 15);
    // Insert as Help
    addRun(t, 0x49, {114});
    // Home, Page Up, Delete Forward, End, Page Down
    addRun(t, 0x4A, {115, 116, 117, 119, 121});
    // Right, Left, Down, Up
    addRun(t, 0x4F, {124, 123, 125, 126});
    // Num Lock as keypad Clear
    addRun(t, 0x53, {71});
    // keypad slash, asterisk, minus, plus, Enter
    addRun(t, 0x54, {75, 67, 78, 69, 76});
    // keypad 1 to 9
    addRun(t, 0x59, {83, 84, 85, 86, 87, 88, 89, 91, 92});
    // keypad 0, keypad period
    addRun(t, 0x62, {82, 65});
    // F13 to F20
    addFunctionKeys(t, 0x68, 13, 20);
    return t;
  }();
  return table;
}

const std::map<int, int>& CGEventOutput::mediaKeys() {
  static const std::map<int, int> table = {
      {consumerUsages[0], kMediaKeyMute},      {consumerUsages[1], kMediaKeySoundUp},
      {consumerUsages[2], kMediaKeySoundDown}, {consumerUsages[3], kMediaKeyPlay},
      {consumerUsages[4], kMediaKeyNext},      {consumerUsages[5], kMediaKeyPrevious},
  };
  return table;
}

}  // namespace virelo
