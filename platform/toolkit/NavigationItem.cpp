#include "NavigationItem.h"

namespace platform {

void NavigationItem::setTitle(std::optional<std::string> title) {
  title_ = std::move(title);
  notifyChanged();
}

void NavigationItem::setRightBarButtonItems(Items items, bool /*animated*/) {
  rightItems_ = std::move(items);
  notifyChanged();
}

void NavigationItem::setRightBarButtonItem(std::shared_ptr<BarButtonItem> item) {
  rightItems_.clear();
  if (item) {
    rightItems_.push_back(std::move(item));
  }
  notifyChanged();
}

void NavigationItem::setLeftBarButtonItems(Items items) {
  leftItems_ = std::move(items);
  notifyChanged();
}

}  // namespace platform
