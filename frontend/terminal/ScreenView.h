#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "frontend/terminal/Canvas.h"
#include "frontend/terminal/Key.h"
#include "frontend/terminal/TableViewPane.h"
#include "platform/toolkit/ViewController.h"

namespace vantory::terminal {

// One screen in the terminal: its labels, text views, text fields, buttons
// and table top to bottom (a form without a table centred). Tab moves between
// fields, buttons and the table; each bar button and layout button also has
// a letter key, shown in the hint line, while no field has the focus.
class ScreenView {
 public:
  explicit ScreenView(platform::ViewController& screen);

  void draw(Canvas& canvas, int top, int height, int width);
  // True when the key was the screen's.
  bool handle(const Key& key);

  // "a Add", "r Refresh", ... for the hint line.
  std::vector<std::string> hints() const;
  // Taps the bar's refresh item, when it has one.
  bool refresh();
  // A field has the focus: letters are typed, not keys.
  bool typing() const;
  bool animating() const;

  platform::ViewController& screen() const { return *screen_; }

 private:
  struct Focusable {
    std::shared_ptr<platform::View> view;
  };
  struct Shortcut {
    wint_t letter;
    std::string title;
    std::function<void()> tap;
  };

  void collect();
  void assignShortcuts();
  void moveFocus(int steps);
  platform::View* focused() const;

  std::shared_ptr<platform::ViewController> screen_;
  std::shared_ptr<platform::View> root_;
  std::vector<Focusable> focusables_;
  std::size_t focus_ = 0;
  std::map<const platform::View*, std::unique_ptr<TableViewPane>> tables_;
  std::vector<Shortcut> shortcuts_;
};

}  // namespace vantory::terminal
