#include "Canvas.h"

#include <curses.h>

#include <algorithm>
#include <cmath>
#include <cwchar>
#include <limits>
#include <string_view>
#include <vector>

namespace vantory::terminal {

namespace {

// UTF-8 to code points; a byte that is not valid UTF-8 becomes U+FFFD.
std::wstring decode(std::string_view text) {
  std::wstring out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const std::size_t length = lead < 0x80           ? 1
                               : (lead >> 5) == 0x6  ? 2
                               : (lead >> 4) == 0xE  ? 3
                               : (lead >> 3) == 0x1E ? 4
                                                     : 0;
    bool valid = length > 0 && i + length <= text.size();
    wchar_t code = length == 1   ? lead
                   : length == 2 ? lead & 0x1F
                   : length == 3 ? lead & 0x0F
                                 : lead & 0x07;
    for (std::size_t k = 1; valid && k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      valid = (next & 0xC0) == 0x80;
      code = static_cast<wchar_t>((code << 6) | (next & 0x3F));
    }
    if (valid && code >= 0x20 && code != 0x7F) {
      out += code;
      i += length;
    } else {
      out += valid ? L' ' : L'\xFFFD';  // control characters drawn as spaces
      i += valid ? length : 1;
    }
  }
  return out;
}

int cellsOf(wchar_t character) {
  const int cells = ::wcwidth(character);
  return cells < 0 ? 1 : cells;
}

// Nearest of the 6x6x6 cube of a 256-colour terminal.
short nearest256(const platform::Color& color) {
  const auto level = [](double component) {
    return static_cast<int>(std::lround(std::clamp(component, 0.0, 1.0) * 5.0));
  };
  return static_cast<short>(16 + 36 * level(color.red) + 6 * level(color.green) +
                            level(color.blue));
}

// Nearest of the eight basic colours, as terminals usually show them (the
// dim yellow being brown).
short nearest8(const platform::Color& color) {
  struct Basic {
    short index;
    double red, green, blue;
  };
  static const Basic kBasic[] = {
      {COLOR_BLACK, 0, 0, 0},      {COLOR_RED, 0.67, 0, 0},
      {COLOR_GREEN, 0, 0.67, 0},   {COLOR_YELLOW, 0.67, 0.33, 0},
      {COLOR_BLUE, 0, 0, 0.67},    {COLOR_MAGENTA, 0.67, 0, 0.67},
      {COLOR_CYAN, 0, 0.67, 0.67}, {COLOR_WHITE, 0.67, 0.67, 0.67},
  };
  short best = COLOR_WHITE;
  double bestDistance = std::numeric_limits<double>::max();
  for (const Basic& basic : kBasic) {
    const double distance = std::pow(basic.red - color.red, 2) +
                            std::pow(basic.green - color.green, 2) +
                            std::pow(basic.blue - color.blue, 2);
    if (distance < bestDistance) {
      bestDistance = distance;
      best = basic.index;
    }
  }
  return best;
}

}  // namespace

Canvas::Canvas() {
  ::initscr();
  ::raw();
  ::noecho();
  ::nonl();
  ::keypad(stdscr, TRUE);
  ::nodelay(stdscr, TRUE);
  ::set_escdelay(25);
  ::curs_set(0);
  if (::has_colors()) {
    ::start_color();
    ::use_default_colors();
    colors_ = true;
    manyColors_ = COLORS >= 256 && COLOR_PAIRS >= 64;
  }
}

Canvas::~Canvas() { ::endwin(); }

int Canvas::rows() const { return LINES; }
int Canvas::columns() const { return COLS; }

short Canvas::pairFor(short foreground) {
  const auto found = pairs_.find(foreground);
  if (found != pairs_.end()) {
    return found->second;
  }
  const auto pair = static_cast<short>(pairs_.size() + 1);
  if (pair >= COLOR_PAIRS) {
    return 0;
  }
  ::init_pair(pair, foreground, -1);
  pairs_[foreground] = pair;
  return pair;
}

Canvas::Attributes Canvas::color(const std::optional<platform::Color>& color) {
  if (!color) {
    return 0;
  }
  if (!colors_) {
    return A_BOLD;  // a colour of its own stands out without colours too
  }
  return COLOR_PAIR(pairFor(manyColors_ ? nearest256(*color) : nearest8(*color)));
}

Canvas::Attributes Canvas::bold() { return A_BOLD; }
Canvas::Attributes Canvas::dim() { return A_DIM; }
Canvas::Attributes Canvas::reverse() { return A_REVERSE; }
Canvas::Attributes Canvas::underline() { return A_UNDERLINE; }

void Canvas::clear() {
  werase(stdscr);
  cursor_.reset();
}

int Canvas::width(const std::string& utf8) {
  int cells = 0;
  for (const wchar_t character : decode(utf8)) {
    cells += cellsOf(character);
  }
  return cells;
}

std::string Canvas::fit(const std::string& utf8, int width) {
  if (Canvas::width(utf8) <= width) {
    return utf8;
  }
  // Cut between characters, leaving a cell for the ellipsis.
  std::string out;
  int used = 0;
  std::size_t i = 0;
  while (i < utf8.size()) {
    std::size_t next = i + 1;
    while (next < utf8.size() && (static_cast<unsigned char>(utf8[next]) & 0xC0) == 0x80) {
      ++next;
    }
    const int cells = Canvas::width(utf8.substr(i, next - i));
    if (used + cells > width - 1) {
      break;
    }
    out.append(utf8, i, next - i);
    used += cells;
    i = next;
  }
  return width > 0 ? out + "\xE2\x80\xA6" : std::string();
}

std::vector<std::string> Canvas::wrap(const std::string& utf8, int width) {
  std::vector<std::string> lines;
  std::string line;
  std::string word;
  const auto endWord = [&] {
    if (word.empty()) {
      return;
    }
    if (!line.empty() && Canvas::width(line) + 1 + Canvas::width(word) > width) {
      lines.push_back(line);
      line.clear();
    }
    if (!line.empty()) {
      line += ' ';
    }
    line += word;
    word.clear();
  };
  for (const char c : utf8) {
    if (c == ' ' || c == '\n') {
      endWord();
      if (c == '\n') {
        lines.push_back(line);
        line.clear();
      }
    } else {
      word += c;
    }
  }
  endWord();
  if (!line.empty()) {
    lines.push_back(line);
  }
  return lines;
}

int Canvas::text(int row, int column, int width, const std::string& utf8, Attributes attributes,
                 Align align) {
  if (width <= 0 || row < 0 || row >= rows()) {
    return 0;
  }
  const std::wstring shown = decode(fit(utf8, width));
  int cells = 0;
  for (const wchar_t character : shown) {
    cells += cellsOf(character);
  }
  int start = column;
  if (align == Align::center) {
    start += (width - cells) / 2;
  } else if (align == Align::right) {
    start += width - cells;
  }
  wattron(stdscr, static_cast<int>(attributes));
  mvaddnwstr(row, start, shown.c_str(), static_cast<int>(shown.size()));
  wattroff(stdscr, static_cast<int>(attributes));
  return cells;
}

void Canvas::blank(int row, int column, int width, Attributes attributes) {
  if (width > 0) {
    text(row, column, width, std::string(static_cast<std::size_t>(width), ' '), attributes);
  }
}

void Canvas::frame(int row, int column, int height, int width, Attributes attributes) {
  wattron(stdscr, static_cast<int>(attributes));
  mvhline(row, column + 1, ACS_HLINE, width - 2);
  mvhline(row + height - 1, column + 1, ACS_HLINE, width - 2);
  mvvline(row + 1, column, ACS_VLINE, height - 2);
  mvvline(row + 1, column + width - 1, ACS_VLINE, height - 2);
  mvaddch(row, column, ACS_ULCORNER);
  mvaddch(row, column + width - 1, ACS_URCORNER);
  mvaddch(row + height - 1, column, ACS_LLCORNER);
  mvaddch(row + height - 1, column + width - 1, ACS_LRCORNER);
  wattroff(stdscr, static_cast<int>(attributes));
}

void Canvas::showCursor(int row, int column) { cursor_ = {row, column}; }

void Canvas::hideCursor() { cursor_.reset(); }

void Canvas::refresh() {
  if (cursor_) {
    wmove(stdscr, cursor_->first, cursor_->second);
    curs_set(1);
  } else {
    curs_set(0);
  }
  wrefresh(stdscr);
}

}  // namespace vantory::terminal
