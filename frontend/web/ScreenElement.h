#pragma once

#include <emscripten/val.h>

#include <map>
#include <memory>
#include <vector>

#include "frontend/web/Actions.h"
#include "frontend/web/TableElement.h"
#include "frontend/web/TextFieldElement.h"
#include "platform/toolkit/ViewController.h"

namespace vantory::web {

// One screen in the page: its labels, text views, fields, buttons and table
// top to bottom (a form without a table centred), the turning indicator over
// them, on the screen's background. Kept while the screen is on the
// navigation stack, so that coming back finds it as it was left.
class ScreenElement {
 public:
  explicit ScreenElement(platform::ViewController& screen);

  const emscripten::val& element() const { return element_; }
  platform::ViewController& screen() const { return *screen_; }

  // Brings every element in line with the model.
  void update();

  // Where the page was scrolled when the screen was left.
  double scrollTop = 0;

 private:
  struct Shown {
    std::shared_ptr<platform::View> view;
    emscripten::val element;
  };

  Shown make(const std::shared_ptr<platform::View>& view);
  void apply(Shown& shown);

  std::shared_ptr<platform::ViewController> screen_;
  std::shared_ptr<platform::View> root_;
  emscripten::val element_;
  std::vector<Shown> shown_;
  std::vector<std::unique_ptr<TableElement>> tables_;
  std::vector<std::unique_ptr<TextFieldElement>> fields_;
  ActionIds actions_;
};

}  // namespace vantory::web
