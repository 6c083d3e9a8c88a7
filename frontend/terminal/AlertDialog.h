#pragma once

#include <memory>

#include "frontend/terminal/Canvas.h"
#include "frontend/terminal/Key.h"
#include "platform/toolkit/AlertController.h"

namespace vantory::terminal {

// An alert as a centred dialog over the screen: title, message, its text
// fields and its buttons. Tab moves between them; Return presses the
// focused button, or from a field the alert's preferred one; Escape presses
// its cancel button.
class AlertDialog {
 public:
  explicit AlertDialog(std::shared_ptr<platform::AlertController> alert);

  void draw(Canvas& canvas);
  void handle(const Key& key);

  platform::AlertController* alert() const { return alert_.get(); }

 private:
  std::size_t focusCount() const;
  void tap(const std::shared_ptr<platform::AlertAction>& action);

  std::shared_ptr<platform::AlertController> alert_;
  std::size_t focus_ = 0;  // fields first, then buttons
};

}  // namespace vantory::terminal
