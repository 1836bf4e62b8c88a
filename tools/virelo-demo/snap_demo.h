// The snapping part of the demonstration on an accessible X desktop: a slow snapped move that
// passes near a real button, with the pointer read back from the X server.
#pragma once

#include <ostream>
#include <string>

#include "virelo/client/client.h"

namespace virelo::tools {

// A button's frame in screen coordinates, as "x,y,w,h".
struct ButtonFrame {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  int centreX() const { return x + width / 2; }
  int centreY() const { return y + height / 2; }
};

// Parses "x,y,w,h"; throws std::invalid_argument when it is not that.
ButtonFrame parseButtonFrame(const std::string& text);

// Puts the pointer 62 points right of the button, on the height of its centre (unsnapped), then
// moves it left in snapped steps of 5 points every 30 ms until it is on the button's centre or
// 40 steps are done.
// Narrates on `log`, ending with the line "cursor landed at X,Y; button centre X,Y". Throws
// std::runtime_error when the X server cannot be reached.
void snapOntoButton(client::Client& client, const std::string& display, const ButtonFrame& button,
                    std::ostream& log);

}  // namespace virelo::tools
