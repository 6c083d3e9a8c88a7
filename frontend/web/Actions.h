#pragma once

#include <emscripten/val.h>

#include <functional>
#include <string>
#include <vector>

namespace vantory::web {

// What the page's elements do, by number: an element carries its number in
// data-tap (a button) or data-field (an input), and the page's script calls
// back with it. Numbers are never reused, so an event for an element that is
// gone finds nothing and does nothing.
class Actions {
 public:
  struct Entry {
    std::function<void()> tap;
    std::function<void(const std::string& text)> type;
    std::function<void()> pressReturn;
    std::function<void()> focus;
  };

  Actions() = delete;

  static int add(Entry entry);
  static void remove(int id);

  static void tap(int id);
  static void type(int id, const std::string& text);
  static void pressReturn(int id);
  static void focus(int id);
};

// The numbers an owner registered, removed with it.
class ActionIds {
 public:
  ActionIds() = default;
  ActionIds(const ActionIds&) = delete;
  ActionIds& operator=(const ActionIds&) = delete;
  ~ActionIds() { clear(); }

  int add(Actions::Entry entry);
  // A <button> of the class whose tap runs `tap`.
  emscripten::val button(const std::string& className, std::function<void()> tap);
  void clear();

 private:
  std::vector<int> ids_;
};

}  // namespace vantory::web
