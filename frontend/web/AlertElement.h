#pragma once

#include <emscripten/val.h>

#include <memory>
#include <vector>

#include "frontend/web/Actions.h"
#include "frontend/web/TextFieldElement.h"
#include "platform/toolkit/AlertController.h"

namespace vantory::web {

// An alert as a modal dialog over a dimmed page: its title, message, fields
// and buttons. Return in a field takes the preferred button, Escape the
// cancel button; the first field (else the preferred button) has the focus.
class AlertElement {
 public:
  explicit AlertElement(std::shared_ptr<platform::AlertController> alert);

  platform::AlertController* alert() const { return alert_.get(); }
  const emscripten::val& element() const { return scrim_; }
  void update();
  // Puts the focus inside the dialog, once it is in the page.
  void focus();

 private:
  void tap(const std::shared_ptr<platform::AlertAction>& action);

  std::shared_ptr<platform::AlertController> alert_;
  emscripten::val scrim_;
  std::vector<std::unique_ptr<TextFieldElement>> fields_;
  emscripten::val preferred_ = emscripten::val::null();
  ActionIds actions_;
};

}  // namespace vantory::web
