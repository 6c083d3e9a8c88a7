#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "BarButtonItem.h"
#include "ModelObject.h"

namespace platform {

// What a screen shows in the navigation bar while it is on top.
class NavigationItem : public ModelObject {
 public:
  using Items = std::vector<std::shared_ptr<BarButtonItem>>;

  const std::optional<std::string>& title() const { return title_; }
  void setTitle(std::optional<std::string> title);

  // The first item sits at the outer right edge.
  const Items& rightBarButtonItems() const { return rightItems_; }
  void setRightBarButtonItems(Items items, bool animated = false);
  void setRightBarButtonItem(std::shared_ptr<BarButtonItem> item);

  const Items& leftBarButtonItems() const { return leftItems_; }
  void setLeftBarButtonItems(Items items);

 private:
  std::optional<std::string> title_;
  Items rightItems_;
  Items leftItems_;
};

}  // namespace platform
