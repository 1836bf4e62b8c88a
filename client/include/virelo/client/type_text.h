// Typing a text with the US keyboard layout through a Client.
#pragma once

#include <string_view>

namespace virelo::client {

class Client;

// Types the UTF-8 text: for every character, presses left shift when needed, presses and releases
// the key, then releases shift. Modifiers and other keys the client already holds stay held (a
// held key that the text types is released first, so that it goes down again, and ends up
// released); with a shift key already held, letters come out in upper case. The whole
// text is checked first: a character the layout cannot type throws UntypableText before anything
// is sent. Errors of the client (ProtocolError, ConnectionLost, ...) pass through.
void typeText(Client& client, std::string_view text);

}  // namespace virelo::client
