#include "NavigationBar.h"

namespace platform {

void NavigationBar::setTintColor(std::optional<Color> color) {
  tintColor_ = std::move(color);
  notifyChanged();
}

void NavigationBar::setTitleTextAttributes(TextAttributes attributes) {
  titleTextAttributes_ = std::move(attributes);
  notifyChanged();
}

}  // namespace platform
