// Characters the layout lacks, typed with a borrowed key on a real X server ("cgevent"): they land
// in the GTK entry and the keymap is as it was afterwards, also after a borrowing that died.
#include <xcb/xcb.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "tests/support/private_dir.h"
#include "tests/tools/tool_process.h"
#include "tests/x11_e2e/x11_desktop_fixture.h"
#include "virelo/client/errors.h"
#include "virelo/client/script.h"
#include "virelo/client/x11.h"

namespace virelo::test {
namespace {

using Event = nlohmann::json;

class X11BorrowedKey : public X11Desktop {
 protected:
  void SetUp() override {
    X11Desktop::SetUp();
    if (IsSkipped()) return;
    startDesktop();
    if (HasFatalFailure()) return;
    client_ = connect();
    x_ = xcb_connect(display().c_str(), nullptr);
    ASSERT_EQ(xcb_connection_has_error(x_), 0);
  }
  void TearDown() override {
    if (x_ != nullptr) xcb_disconnect(x_);
  }
  std::string display() const { return desktop_->server->display(); }
  // The keysyms of a borrowed key (the first by default), per level.
  std::vector<std::uint32_t> borrowedKeyMapping(
      std::uint8_t keycode = client::kBorrowedKeys[0].keycode) {
    auto* reply =
        xcb_get_keyboard_mapping_reply(x_, xcb_get_keyboard_mapping(x_, keycode, 1), nullptr);
    const xcb_keysym_t* keysyms = xcb_get_keyboard_mapping_keysyms(reply);
    std::vector<std::uint32_t> mapping(keysyms, keysyms + reply->keysyms_per_keycode);
    std::free(reply);
    return mapping;
  }
  bool entryShows(const std::string& text) {
    return app().next([&](const Event& e) { return e.value("text", "") == text; }).has_value();
  }

  std::unique_ptr<client::Client> client_;
  xcb_connection_t* x_ = nullptr;
  // The tool's runtime directory, owned by the service user, as the tool runs as that user.
  PrivateDir dir_;
  // The record of the library's borrowings in this process: a directory of this process' user.
  struct OwnDir {
    std::string path = [] {
      std::string pattern = (std::filesystem::temp_directory_path() / "vl-loan-XXXXXX").string();
      if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp");
      return pattern;
    }();
    ~OwnDir() { std::filesystem::remove_all(path); }
  } own_;
  std::string record() const { return own_.path + "/borrowed-keys"; }
};

TEST_F(X11BorrowedKey, AnEmojiLandsInTheEntryAndTheKeymapIsRestored) {
  std::vector<std::vector<std::uint32_t>> before;
  for (const auto& key : client::kBorrowedKeys) before.push_back(borrowedKeyMapping(key.keycode));
  const std::string record = this->record();
  client::typeTextBorrowing(*client_, "a😀✓b", client::KeyboardLayout::us(), display(), {}, record);
  EXPECT_TRUE(entryShows("a😀✓b"));
  for (std::size_t i = 0; i < before.size(); ++i) {
    EXPECT_EQ(borrowedKeyMapping(client::kBorrowedKeys[i].keycode), before[i]);
  }
  EXPECT_FALSE(std::ifstream(record).good());
  EXPECT_TRUE(serverHoldsNothing());
}

TEST_F(X11BorrowedKey, KeysymsNoKeyOfTheLayoutProducesArePressedAndTheKeymapIsRestored) {
  const auto before = borrowedKeyMapping();
  // Hyper_L and XF86Calculator; a keysym name in any case.
  for (auto [name, keysym] :
       {std::pair("Hyper_L", 0xFFEDu), std::pair("xf86calculator", 0x1008FF1Du)}) {
    ASSERT_EQ(client::keysymNamed(name), keysym) << name;
    client::pressKeysymBorrowing(*client_, keysym, 0, display(), record());
    EXPECT_TRUE(app().next([k = keysym](const Event& e) { return e.value("keysym", 0u) == k; }))
        << name;
  }
  EXPECT_FALSE(client::keysymNamed("NoSuchKeysym"));
  EXPECT_EQ(borrowedKeyMapping(), before);
  EXPECT_FALSE(std::ifstream(record()).good());
  EXPECT_TRUE(serverHoldsNothing());
}

TEST_F(X11BorrowedKey, WithoutAnXServerTheTextIsRefusedBeforeAnythingIsTyped) {
  try {
    client::typeTextBorrowing(*client_, "ok 😀", client::KeyboardLayout::us(), std::nullopt, {},
                              record());
    FAIL() << "typed without an X server";
  } catch (const client::UntypableText& e) {
    EXPECT_EQ(e.character(), U'\U0001F600');
  }
  EXPECT_FALSE(app().next([](const Event& e) { return e.contains("text"); }, 300ms));
}

TEST_F(X11BorrowedKey, AKeyADeadBorrowingLeftLentIsRestoredAtTheNextUse) {
  const auto before = borrowedKeyMapping();
  // What a borrowing writes before it changes the keymap, and the change, then nothing more.
  const std::string record = this->record();
  {
    std::ofstream out(record);
    out << display() << std::hex << ' ' << int{client::kBorrowedKeys[0].keycode};
    for (auto keysym : before) out << ' ' << keysym;
    out << '\n';
  }
  std::vector<xcb_keysym_t> lent(before.size(), 0x1002713);  // U+2713
  xcb_change_keyboard_mapping(x_, 1, client::kBorrowedKeys[0].keycode,
                              static_cast<std::uint8_t>(lent.size()), lent.data());
  xcb_flush(x_);
  ASSERT_NE(borrowedKeyMapping(), before);
  // Under another name of the same server (with the screen) than the record's writer used.
  EXPECT_TRUE(client::restoreBorrowedKeys(display() + ".0", record));
  EXPECT_EQ(borrowedKeyMapping(), before);
  EXPECT_FALSE(std::ifstream(record).good());
}

TEST_F(X11BorrowedKey, TheToolAndItsScriptsTypeWhatTheLayoutLacks) {
  const std::map<std::string, std::string> environment = {{"VIRELO_SOCKET", service_->socketPath()},
                                                          {"VIRELO_TOKEN", service_->token()},
                                                          {"DISPLAY", display()},
                                                          {"XDG_RUNTIME_DIR", dir_.path()}};
  auto typed = client::runTool({"type", "--layout", "us", "x€"}, environment);
  EXPECT_EQ(typed.status, 0) << typed.errors;
  EXPECT_TRUE(entryShows("x€"));
  writeFile(dir_ / "script", "type \"✓ y\"\n");
  auto ran = client::runTool({"run", "--layout", "us", dir_ / "script"}, environment);
  EXPECT_EQ(ran.status, 0) << ran.errors;
  EXPECT_TRUE(entryShows("x€✓ y"));
}

TEST_F(X11BorrowedKey, TheToolsKeyPressesKeysymsTheLayoutLacks) {
  const std::map<std::string, std::string> environment = {{"VIRELO_SOCKET", service_->socketPath()},
                                                          {"VIRELO_TOKEN", service_->token()},
                                                          {"DISPLAY", display()},
                                                          {"XDG_RUNTIME_DIR", dir_.path()}};
  const auto before = borrowedKeyMapping();
  auto pressed =
      client::runTool({"key", "--layout", "us", "Hyper_L", "shift+XF86Calculator"}, environment);
  EXPECT_EQ(pressed.status, 0) << pressed.errors;
  for (auto keysym : {0xFFEDu, 0x1008FF1Du}) {
    EXPECT_TRUE(app().next([&](const Event& e) { return e.value("keysym", 0u) == keysym; }))
        << std::hex << keysym;
  }
  EXPECT_EQ(borrowedKeyMapping(), before);
  EXPECT_EQ(client::runTool({"key", "--layout", "us", "a+Hyper_L"}, environment).status, 2);
}

TEST_F(X11BorrowedKey, AScriptsKeyLinesPressKeysymsTheLayoutLacks) {
  // The script's display and record are the process environment's.
  ::setenv("DISPLAY", display().c_str(), 1);
  ::setenv("XDG_RUNTIME_DIR", own_.path.c_str(), 1);
  const auto before = borrowedKeyMapping();
  const auto us = client::KeyboardLayout::named(client::parseLayoutName("us"));
  // One keysym at a time is held on a borrowed key.
  EXPECT_THROW(client::parseScript("keydown Hyper_L\nkeydown XF86Calculator\n", us),
               client::ScriptError);
  auto actions = client::parseScript(
      "key Hyper_L\nkeydown shift+XF86Calculator\nkey a\nkeyup shift+XF86Calculator\n"
      "keydown Hyper_L\n",  // let go at the script's end
      us);
  client::runScript(*client_, actions);
  ::unsetenv("DISPLAY");
  ::unsetenv("XDG_RUNTIME_DIR");
  for (auto keysym : {0xFFEDu, 0x1008FF1Du, 0x41u, 0xFFEDu}) {  // "a" under shift is "A"
    EXPECT_TRUE(app().next([&](const Event& e) { return e.value("keysym", 0u) == keysym; }))
        << std::hex << keysym;
  }
  EXPECT_EQ(borrowedKeyMapping(), before);
  EXPECT_TRUE(serverHoldsNothing());
}

TEST_F(X11BorrowedKey, AScriptWhoseKeysymNoKeyCanBeBorrowedForIsRefusedBeforeItRuns) {
  ::setenv("DISPLAY", display().c_str(), 1);
  auto actions = client::parseScript("key a\nkey Hyper_L\n",
                                     client::KeyboardLayout::named(client::parseLayoutName("us")));
  // A service on a compositor's host, whose keymap decides there.
  ::setenv("VIRELO_SOCKET", service_->socketPath().c_str(), 1);
  ::setenv("VL_HOST", "gnome", 1);
  try {
    client::runScript(*client_, actions);
    ADD_FAILURE() << "ran without a key to borrow";
  } catch (const client::ScriptError& e) {
    EXPECT_EQ(e.line(), 2) << e.what();
  }
  for (const char* name : {"DISPLAY", "VIRELO_SOCKET", "VL_HOST"}) ::unsetenv(name);
  EXPECT_FALSE(app().next([](const Event& e) { return e.contains("keysym"); }, 300ms));
}

TEST_F(X11BorrowedKey, TwoToolsBorrowingAtOnceBothTypeExactlyTheirText) {
  const std::map<std::string, std::string> environment = {{"VIRELO_SOCKET", service_->socketPath()},
                                                          {"VIRELO_TOKEN", service_->token()},
                                                          {"DISPLAY", display()},
                                                          {"XDG_RUNTIME_DIR", dir_.path()}};
  std::string checks, stars;
  for (int i = 0; i < 20; ++i) checks += "✓", stars += "★";
  client::ToolProcess first({"type", "--layout", "us", "--delay", "50", checks}, environment);
  client::ToolProcess second({"type", "--layout", "us", "--delay", "50", stars}, environment);
  EXPECT_EQ(first.waitExit(30s), 0) << first.errors();
  EXPECT_EQ(second.waitExit(30s), 0) << second.errors();
  auto count = [](const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
  };
  std::string typed;
  while (auto e = app().next([](const Event& e) { return e.contains("text"); }, 1s)) {
    typed = e->value("text", "");
  }
  EXPECT_EQ(count(typed, "✓"), 20u) << typed;
  EXPECT_EQ(count(typed, "★"), 20u) << typed;
}

}  // namespace
}  // namespace virelo::test
