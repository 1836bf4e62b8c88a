// What the GNOME window server sends to the compositor's session for the events of the event
// services.
#include "platform/gnome/gnome_poster.h"

#include <gtest/gtest.h>
#include <linux/input-event-codes.h>

#include <string>
#include <vector>

namespace virelo::gnome {
namespace {

constexpr std::uint16_t kLeftShift = 56;

// Records the calls; places the pointer only inside its area.
class RecordedInput final : public RemoteInput {
 public:
  explicit RecordedInput(Rect area = makeRect(0, 0, 1280, 800)) : area_(area) {}
  void key(std::uint32_t evdev, bool down) override {
    calls.push_back("key " + std::to_string(evdev) + (down ? " down" : " up"));
  }
  void button(std::int32_t evdev, bool down) override {
    calls.push_back("button " + std::to_string(evdev) + (down ? " down" : " up"));
  }
  void moveBy(double dx, double dy) override {
    calls.push_back("by " + std::to_string(int(dx)) + " " + std::to_string(int(dy)));
  }
  bool moveTo(Point p) override {
    if (!area_.contains(p)) return false;
    calls.push_back("to " + std::to_string(int(p.x)) + " " + std::to_string(int(p.y)));
    return true;
  }
  void scroll(std::int32_t steps) override { calls.push_back("scroll " + std::to_string(steps)); }

  std::vector<std::string> calls;

 private:
  Rect area_;
};

Event key(std::uint32_t type, std::uint16_t code, std::uint64_t flags = 0) {
  Event e;
  e.type = type;
  e.keycode = code;
  e.flags = flags;
  return e;
}

Event mouse(std::uint32_t type, double x, double y, std::uint32_t button = 0) {
  Event e;
  e.type = type;
  e.location = {x, y};
  e.button = button;
  return e;
}

TEST(GnomePoster, ModifiersFollowTheFlagsOfWhatThePosterHolds) {
  RecordedInput input;
  Poster poster;
  poster.post(input, key(kEventFlagsChanged, kLeftShift, 0x20002));
  poster.post(input, key(kEventFlagsChanged, kLeftShift, 0x20002));  // held already
  EXPECT_EQ(poster.flags(), 0x20002u);
  poster.post(input, key(kEventFlagsChanged, kLeftShift, 0));
  // Caps lock toggles: a press, then its release.
  poster.post(input, key(kEventFlagsChanged, 57));
  poster.post(input, key(kEventFlagsChanged, 57));
  EXPECT_EQ(input.calls,
            (std::vector<std::string>{"key 42 down", "key 42 up", "key 58 down", "key 58 up"}));
  EXPECT_EQ(poster.flags(), 0u);
}

TEST(GnomePoster, KeysGoByPositionWithoutTheirRepeatsAndMediaKeysAsTheirKeys) {
  RecordedInput input;
  Poster poster;
  Event repeat = key(kEventKeyDown, 0);
  repeat.setField(kFieldKeyboardAutorepeat, 1);
  poster.post(input, key(kEventKeyDown, 0));  // A
  poster.post(input, repeat);
  poster.post(input, key(kEventKeyUp, 0));
  poster.post(input, key(kEventKeyDown, 63));  // Fn: no key on the compositor
  // Play/pause (16) down, as a media key event's data1 carries it.
  Event media;
  media.type = kEventSystemDefined;
  media.subtype = kSubtypeAuxControlButtons;
  media.data1 = (16 << 16) | (0x0A << 8);
  poster.post(input, media);
  EXPECT_EQ(input.calls,
            (std::vector<std::string>{"key " + std::to_string(KEY_A) + " down",
                                      "key " + std::to_string(KEY_A) + " up",
                                      "key " + std::to_string(KEY_PLAYPAUSE) + " down"}));
}

TEST(GnomePoster, ThePointerIsPlacedWhereTheSessionCanAndElseMovedByTheDistance) {
  RecordedInput input(makeRect(0, 0, 100, 100));
  Poster poster;
  poster.restart({10, 10});
  poster.post(input, mouse(kEventMouseMoved, 50, 60));
  poster.post(input, mouse(kEventMouseMoved, 150, 60));  // outside the stream
  poster.post(input, mouse(kEventRightMouseDown, 150, 60, 1));
  poster.post(input, mouse(kEventRightMouseUp, 150, 60, 1));
  EXPECT_EQ(input.calls, (std::vector<std::string>{"to 50 60", "by 100 0",
                                                   "button " + std::to_string(BTN_RIGHT) + " down",
                                                   "button " + std::to_string(BTN_RIGHT) + " up"}));
  EXPECT_EQ(poster.cursor(), (Point{150, 60}));
}

}  // namespace
}  // namespace virelo::gnome
