#include "tests/client/xkb_text_decoder.h"

#include <xkbcommon/xkbcommon-compose.h>
#include <xkbcommon/xkbcommon.h>

#include <memory>
#include <set>
#include <stdexcept>

#include "virelo/client/keys.h"

namespace virelo::client {
namespace {

struct Report {
  int modifiers = 0;
  std::set<int> keys;
};

Report parseReport(const std::string& hex) {
  Report report;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    int value = std::stoi(hex.substr(i, 2), nullptr, 16);
    if (i == 0) {
      report.modifiers = value;
    } else if (value != 0) {
      report.keys.insert(value);
    }
  }
  return report;
}

class Decoder {
 public:
  explicit Decoder(const LayoutName& name)
      : context_(xkb_context_new(XKB_CONTEXT_NO_ENVIRONMENT_NAMES), xkb_context_unref) {
    const xkb_rule_names names{name.rules.c_str(), name.model.c_str(), name.layout.c_str(),
                               name.variant.c_str(), name.options.c_str()};
    keymap_.reset(xkb_keymap_new_from_names(context_.get(), &names, XKB_KEYMAP_COMPILE_NO_FLAGS));
    if (!keymap_) throw std::runtime_error("no keymap for " + name.layout);
    state_.reset(xkb_state_new(keymap_.get()));
    table_.reset(xkb_compose_table_new_from_locale(context_.get(), "en_US.UTF-8",
                                                   XKB_COMPOSE_COMPILE_NO_FLAGS));
    if (!table_) throw std::runtime_error("no compose table");
    compose_.reset(xkb_compose_state_new(table_.get(), XKB_COMPOSE_STATE_NO_FLAGS));
  }

  void next(const Report& report) {
    for (int bit = 0; bit < 8; ++bit) {
      bool was = (last_.modifiers >> bit & 1) != 0;
      bool is = (report.modifiers >> bit & 1) != 0;
      if (was != is) key(0xE0 + bit, is);
    }
    for (int usage : last_.keys) {
      if (report.keys.count(usage) == 0) key(usage, false);
    }
    for (int usage : report.keys) {
      if (last_.keys.count(usage) == 0) key(usage, true);
    }
    last_ = report;
  }

  const std::string& text() const { return text_; }

 private:
  void key(int usage, bool down) {
    auto code = evdevCodeOfUsage(usage);
    if (!code) throw std::runtime_error("usage without an evdev code: " + std::to_string(usage));
    const xkb_keycode_t keycode = static_cast<xkb_keycode_t>(*code + 8);
    if (down) type(keycode);
    xkb_state_update_key(state_.get(), keycode, down ? XKB_KEY_DOWN : XKB_KEY_UP);
  }

  void type(xkb_keycode_t keycode) {
    char buffer[64];
    xkb_compose_state_feed(compose_.get(), xkb_state_key_get_one_sym(state_.get(), keycode));
    switch (xkb_compose_state_get_status(compose_.get())) {
      case XKB_COMPOSE_COMPOSED:
        xkb_compose_state_get_utf8(compose_.get(), buffer, sizeof(buffer));
        xkb_compose_state_reset(compose_.get());
        break;
      case XKB_COMPOSE_NOTHING:
        xkb_state_key_get_utf8(state_.get(), keycode, buffer, sizeof(buffer));
        break;
      default:  // composing, or a cancelled sequence, types nothing
        if (xkb_compose_state_get_status(compose_.get()) == XKB_COMPOSE_CANCELLED) {
          xkb_compose_state_reset(compose_.get());
        }
        return;
    }
    text_ += std::string(buffer) == "\r" ? "\n" : buffer;
  }

  std::unique_ptr<xkb_context, void (*)(xkb_context*)> context_;
  std::unique_ptr<xkb_keymap, void (*)(xkb_keymap*)> keymap_{nullptr, xkb_keymap_unref};
  std::unique_ptr<xkb_state, void (*)(xkb_state*)> state_{nullptr, xkb_state_unref};
  std::unique_ptr<xkb_compose_table, void (*)(xkb_compose_table*)> table_{nullptr,
                                                                          xkb_compose_table_unref};
  std::unique_ptr<xkb_compose_state, void (*)(xkb_compose_state*)> compose_{
      nullptr, xkb_compose_state_unref};
  Report last_;
  std::string text_;
};

}  // namespace

std::string decodeTypedText(const LayoutName& layout, const std::vector<std::string>& reports) {
  Decoder decoder(layout);
  for (const auto& hex : reports) decoder.next(parseReport(hex));
  return decoder.text();
}

}  // namespace virelo::client
