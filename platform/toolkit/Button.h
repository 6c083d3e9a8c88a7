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

  // The button a form's Return key presses once no text field has the focus.
  bool isDefault() const { return default_; }
  void setDefault(bool isDefault) { default_ = isDefault; }

  // What a user does.
  void tap();

 private:
  std::string title_;
  Action action_;
  bool default_ = false;
};

}  // namespace platform
