#pragma once

#include <functional>
#include <string>

#include "View.h"

namespace platform {

// A tappable button of a layout; its action is wired by the storyboard.
class Button : public View {
 public:
  using Action = std::function<void(Button& sender)>;

  explicit Button(std::string title = {}, Rect frame = {});

  const std::string& title() const { return title_; }
  void setTitle(std::string title);

  void setAction(Action action) { action_ = std::move(action); }

  // What a user does.
  void tap();

 private:
  std::string title_;
  Action action_;
};

}  // namespace platform
