#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/toolkit/Color.h"

namespace vantory::terminal {

// The terminal as ncurses draws it: text measured in cells (wide characters
// take two, "é" one), cut with an ellipsis when it does not fit, in the
// nearest colour the terminal has (256 colours, 8, or none: then bold and
// underline stand in).
class Canvas {
 public:
  enum class Align { left, center, right };
  using Attributes = unsigned long;  // ncurses attr_t

  // Takes the terminal over (raw keys, no echo); the destructor gives it back.
  Canvas();
  ~Canvas();
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  int rows() const;
  int columns() const;

  // The attributes that draw in the colour (bold/underline without colours).
  Attributes color(const std::optional<platform::Color>& color);
  static Attributes bold();
  static Attributes dim();
  static Attributes reverse();
  static Attributes underline();

  void clear();
  // Text within `width` cells from (row, column), aligned, cut with "…";
  // the rest of the width is left as it was. Returns the cells drawn.
  int text(int row, int column, int width, const std::string& utf8, Attributes attributes = 0,
           Align align = Align::left);
  // Spaces over the width.
  void blank(int row, int column, int width, Attributes attributes = 0);
  // A frame (line drawing characters) around the area.
  void frame(int row, int column, int height, int width, Attributes attributes = 0);
  void showCursor(int row, int column);
  void hideCursor();
  void refresh();

  // Cells the text takes.
  static int width(const std::string& utf8);
  // The text cut to `width` cells, ending in "…" when it was longer.
  static std::string fit(const std::string& utf8, int width);
  // The lines the text takes wrapped at spaces (and line breaks) to the width.
  static std::vector<std::string> wrap(const std::string& utf8, int width);

 private:
  short pairFor(short foreground);

  bool colors_ = false;
  bool manyColors_ = false;
  std::map<short, short> pairs_;
  std::optional<std::pair<int, int>> cursor_;
};

}  // namespace vantory::terminal
