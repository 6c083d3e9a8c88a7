#pragma once

#include <curses.h>

namespace vantory::terminal {

// One key as ncurses reads it: a character, or a function key (arrows,
// Page Up, a resize of the terminal).
struct Key {
  bool function = false;
  wint_t code = 0;

  bool is(wint_t character) const { return !function && code == character; }
  bool isFunction(int key) const { return function && code == static_cast<wint_t>(key); }
  bool isEnter() const { return is(L'\r') || is(L'\n') || isFunction(KEY_ENTER); }
  bool isEscape() const { return is(27); }
  bool isBackspace() const { return isFunction(KEY_BACKSPACE) || is(127) || is(8); }
  bool isTab() const { return is(L'\t'); }
  bool isBackTab() const { return isFunction(KEY_BTAB); }
  // A character that can be typed into a field.
  bool isText() const { return !function && code >= 0x20 && code != 127; }
};

}  // namespace vantory::terminal
