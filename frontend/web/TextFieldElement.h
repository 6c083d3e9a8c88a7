#pragma once

#include <emscripten/val.h>

#include <functional>
#include <memory>

#include "frontend/web/Actions.h"
#include "platform/toolkit/TextField.h"

namespace vantory::web {

// A text field as a labelled <input>: its placeholder is also its label (for
// screen readers), and it asks the phone for the keyboard the field wants.
// Typing goes to the model as it happens; Return does what the owner says.
class TextFieldElement {
 public:
  TextFieldElement(std::shared_ptr<platform::TextField> field, std::function<void()> onReturn);

  const emscripten::val& element() const { return label_; }
  const emscripten::val& input() const { return input_; }
  void update();

 private:
  std::shared_ptr<platform::TextField> field_;
  emscripten::val label_;
  emscripten::val name_;
  emscripten::val input_;
  bool firstResponder_ = false;
  ActionIds actions_;
};

}  // namespace vantory::web
