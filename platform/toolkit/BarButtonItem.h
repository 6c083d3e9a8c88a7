#pragma once

#include <functional>
#include <string>

#include "ModelObject.h"

namespace platform {

// What a bar button is for, when the platform knows the kind (as phones'
// system items): front-ends give such buttons their usual keys.
enum class BarButtonSystemItem { none, refresh };

// A button of a navigation bar; its action is wired by the storyboard.
class BarButtonItem : public ModelObject {
 public:
  using Action = std::function<void(BarButtonItem& sender)>;

  explicit BarButtonItem(std::string title = {}) : title_(std::move(title)) {}

  const std::string& title() const { return title_; }
  void setTitle(std::string title);

  BarButtonSystemItem systemItem() const { return systemItem_; }
  void setSystemItem(BarButtonSystemItem item) { systemItem_ = item; }

  bool isEnabled() const { return enabled_; }
  void setEnabled(bool enabled);

  void setAction(Action action) { action_ = std::move(action); }

  // What a user does.
  void tap();

 private:
  std::string title_;
  BarButtonSystemItem systemItem_ = BarButtonSystemItem::none;
  bool enabled_ = true;
  Action action_;
};

}  // namespace platform
