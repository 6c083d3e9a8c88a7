#include "BarButtonItem.h"

namespace platform {

void BarButtonItem::setTitle(std::string title) {
  title_ = std::move(title);
  notifyChanged();
}

void BarButtonItem::setEnabled(bool enabled) {
  enabled_ = enabled;
  notifyChanged();
}

void BarButtonItem::tap() {
  if (action_ && enabled_) {
    action_(*this);
  }
}

}  // namespace platform
