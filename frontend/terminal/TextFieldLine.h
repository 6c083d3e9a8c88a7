#pragma once

#include "frontend/terminal/Canvas.h"
#include "frontend/terminal/Key.h"
#include "platform/toolkit/TextField.h"

namespace vantory::terminal {

// A model text field as one line of a screen or a dialog: its text between
// brackets in the field's border colour, or its placeholder (in the styled
// placeholder's colour, else the app's brown) while it is empty; typing and
// Backspace edit it.
class TextFieldLine {
 public:
  TextFieldLine() = delete;

  static void draw(Canvas& canvas, int row, int column, int width, platform::TextField& field,
                   bool focused);
  // Typing and Backspace; true when the key was the field's.
  static bool edit(platform::TextField& field, const Key& key);
};

}  // namespace vantory::terminal
