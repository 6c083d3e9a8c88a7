#include "Button.h"

namespace platform {

Button::Button(std::string title, Rect frame) : View(frame), title_(std::move(title)) {}

void Button::setTitle(std::string title) {
  title_ = std::move(title);
  notifyChanged();
}

void Button::tap() {
  if (action_ && !isHidden()) {
    action_(*this);
  }
}

}  // namespace platform
