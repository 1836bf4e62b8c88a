// Typing a text with a keyboard layout through a Client.
#pragma once

#include <chrono>
#include <string_view>

namespace virelo::client {

class Client;
class KeyboardLayout;

// Types the UTF-8 text with the layout: for every character, presses the modifiers it needs
// (left shift, right alt for AltGr), presses and releases the key, and lets the modifiers go when
// the next key does not need them; a dead key and the key it composes with are typed the same
// way, one after the other. Modifiers and other keys the client already holds stay held (a held
// key that the text types is released first, so that it goes down again, and ends up released);
// with a shift key already held, letters come out in upper case. The whole text is checked first:
// characters the layout cannot type throw UntypableText, naming each, before anything is sent;
// so do characters that need a key the service's backend cannot post (with "cgevent", as hello()
// reported it: the ISO key left of Z, usage 0x64, which types "<" and ">" in German, and the
// non-US hash key, 0x32).
// Errors of the client (ProtocolError, ConnectionLost, ...) pass through.
void typeText(Client& client, std::string_view text, const KeyboardLayout& layout);

// Pacing for applications that drop fast input: how long each key is held, and the pause after
// each keystroke before the next. Zero is the fastest the service takes.
struct TypePacing {
  std::chrono::microseconds hold{0};
  std::chrono::microseconds delay{0};
};
// The same, paced.
void typeText(Client& client, std::string_view text, const KeyboardLayout& layout,
              TypePacing pacing);
// The same with the US layout.
void typeText(Client& client, std::string_view text);

}  // namespace virelo::client
