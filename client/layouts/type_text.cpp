#include <algorithm>
#include <chrono>
#include <functional>
#include <thread>

#include "backend_keys.h"
#include "utf8.h"
#include "virelo/client/client.h"
#include "virelo/client/errors.h"
#include "virelo/client/layouts.h"

namespace virelo::client {
namespace {

constexpr std::uint8_t kShifts = modifier::leftShift | modifier::rightShift;

// The modifiers to press for a keystroke on top of those the client holds; any held shift key
// serves as shift.
std::uint8_t toPress(std::uint8_t wanted, std::uint8_t held) {
  if ((held & kShifts) != 0) wanted &= static_cast<std::uint8_t>(~modifier::leftShift);
  return static_cast<std::uint8_t>(wanted & ~held);
}

// Throws UntypableText naming each character whose keystrokes the backend would drop.
void checkBackend(const std::string& backend, std::string_view text, const KeyboardLayout& layout) {
  if (backend != "cgevent") return;
  std::vector<UntypableCharacter> dropped;
  std::size_t offset = 0;
  while (offset < text.size()) {
    const std::size_t start = offset;
    const char32_t c = decodeUtf8(text, offset);
    const std::vector<Keystroke>* strokes = layout.keystrokes(c);
    if (strokes == nullptr) continue;
    for (const Keystroke& stroke : *strokes) {
      if (!backendPosts("cgevent", stroke.usage)) {
        dropped.push_back({c, start});
        break;
      }
    }
  }
  if (!dropped.empty()) {
    throw UntypableText(std::move(dropped),
                        layout.description() + " through the \"cgevent\" backend");
  }
}

// The keyboard states that type the strokes, from the state the client holds: for each stroke the
// modifiers it needs pressed (those it does not need let go first), a held key of the text let go
// so that it goes down anew, the key down and up; at the end the modifiers let go.
class StrokeStates {
 public:
  explicit StrokeStates(const InputState& before)
      : held_(before.modifiers), modifiers_(before.modifiers), keys_(before.keys) {}

  template <typename Send>
  void type(const Keystroke& stroke, const Send& send) {
    const std::uint8_t wanted = toPress(stroke.modifiers, held_);
    if (const auto extra = static_cast<std::uint8_t>(pressed_ & ~wanted); extra != 0) {
      modifiers_ = static_cast<std::uint8_t>(modifiers_ & ~extra);
      send(false);
    }
    if (const auto missing = static_cast<std::uint8_t>(wanted & ~pressed_); missing != 0) {
      modifiers_ |= missing;
      send(false);
    }
    pressed_ = wanted;
    if (keys_.erase(stroke.usage) != 0) send(false);  // held already: let go, to go down anew
    keys_.insert(stroke.usage);
    send(true);
    keys_.erase(stroke.usage);
    send(false);
  }

  template <typename Send>
  void finish(const Send& send) {
    if (pressed_ == 0) return;
    modifiers_ = static_cast<std::uint8_t>(modifiers_ & ~pressed_);
    pressed_ = 0;
    send(false);
  }

  Client::KeyboardState state() const { return {modifiers_, keys_}; }

 private:
  std::uint8_t held_;         // the modifiers held before the text
  std::uint8_t pressed_ = 0;  // the modifiers the text pressed
  std::uint8_t modifiers_;
  std::set<int> keys_;
};

// The caller's check between the steps of a text; when it throws, what the text holds is let go
// first: the modifiers and keys the client held before, without the keys of the text (which the
// text would have left released).
class Between {
 public:
  Between(Client& client, const std::function<void()>& check, const InputState& before,
          const std::vector<Keystroke>& strokes)
      : client_(client), check_(check), letGo_{before.modifiers, before.keys} {
    for (const Keystroke& stroke : strokes) letGo_.keys.erase(stroke.usage);
  }

  void ask() const {
    if (!check_) return;
    try {
      check_();
    } catch (...) {
      try {
        client_.keyboard(letGo_.modifiers, letGo_.keys, client_.state().fn);
      } catch (const Error&) {
        // The connection is gone, and with it everything it held.
      }
      throw;
    }
  }

  bool checks() const { return static_cast<bool>(check_); }

  // Sleeps for the pause, asking at least every 20 ms.
  void pause(std::chrono::microseconds pause) const {
    constexpr std::chrono::steady_clock::duration kSlice = std::chrono::milliseconds(20);
    const auto end = std::chrono::steady_clock::now() + pause;
    for (auto now = std::chrono::steady_clock::now(); now < end;
         now = std::chrono::steady_clock::now()) {
      std::this_thread::sleep_for(check_ ? std::min(kSlice, end - now) : end - now);
      ask();
    }
  }

 private:
  Client& client_;
  const std::function<void()>& check_;
  Client::KeyboardState letGo_;
};

// The states in batches of at most 64, asking before each; in one go when there is no check.
void sendInBatches(Client& client, const std::vector<Client::KeyboardState>& sequence,
                   const Between& between) {
  if (!between.checks()) {
    client.keyboardSequence(sequence);
    return;
  }
  constexpr std::size_t kBatch = 64;
  for (std::size_t at = 0; at < sequence.size(); at += kBatch) {
    between.ask();
    const std::size_t end = std::min(sequence.size(), at + kBatch);
    client.keyboardSequence(
        std::vector<Client::KeyboardState>(sequence.begin() + static_cast<std::ptrdiff_t>(at),
                                           sequence.begin() + static_cast<std::ptrdiff_t>(end)));
  }
}

}  // namespace

void typeText(Client& client, std::string_view text, const KeyboardLayout& layout) {
  typeText(client, text, layout, TypePacing{});
}

void typeText(Client& client, std::string_view text, const KeyboardLayout& layout,
              TypePacing pacing) {
  typeText(client, text, layout, pacing, {});
}

void typeText(Client& client, std::string_view text, const KeyboardLayout& layout,
              TypePacing pacing, const std::function<void()>& check) {
  // Checked as a whole first, so that an untypable character sends nothing at all.
  const std::vector<Keystroke> strokes = layout.keystrokes(text);
  checkBackend(client.backend(), text, layout);
  const InputState before = client.state();
  StrokeStates states(before);
  Between between(client, check, before, strokes);
  if (pacing.hold.count() == 0 && pacing.delay.count() == 0) {
    // Unpaced, the whole text goes out without a round trip per state.
    std::vector<Client::KeyboardState> sequence;
    auto add = [&](bool) { sequence.push_back(states.state()); };
    for (const Keystroke& stroke : strokes) states.type(stroke, add);
    states.finish(add);
    sendInBatches(client, sequence, between);
    return;
  }
  bool first = true;
  auto send = [&](bool down) {
    between.ask();
    const Client::KeyboardState state = states.state();
    client.keyboard(state.modifiers, state.keys, client.state().fn);
    if (down && pacing.hold.count() > 0) between.pause(pacing.hold);
  };
  for (const Keystroke& stroke : strokes) {
    if (!first && pacing.delay.count() > 0) between.pause(pacing.delay);
    first = false;
    states.type(stroke, send);
  }
  states.finish(send);
}

void typeText(Client& client, std::string_view text) {
  typeText(client, text, KeyboardLayout::us());
}

}  // namespace virelo::client
