#include "View.h"

#include <algorithm>

namespace platform {

View::View(Rect frame) : frame_(frame) {}

void View::setFrame(const Rect& frame) {
  frame_ = frame;
  notifyChanged();
}

void View::setBackgroundColor(std::optional<Color> color) {
  backgroundColor_ = std::move(color);
  notifyChanged();
}

void View::setHidden(bool hidden) {
  hidden_ = hidden;
  notifyChanged();
}

void View::setTag(int tag) {
  tag_ = tag;
  notifyChanged();
}

void View::setBorderColor(std::optional<Color> color) {
  layer_.borderColor = std::move(color);
  notifyChanged();
}

void View::setBorderWidth(double width) {
  layer_.borderWidth = width;
  notifyChanged();
}

void View::setCornerRadius(double radius) {
  layer_.cornerRadius = radius;
  notifyChanged();
}

void View::addSubview(const std::shared_ptr<View>& view) {
  if (!view || view.get() == this) {
    return;
  }
  view->removeFromSuperview();
  view->superview_ = this;
  subviews_.push_back(view);
  notifyChanged();
}

void View::removeFromSuperview() {
  View* parent = superview_;
  if (parent == nullptr) {
    return;
  }
  superview_ = nullptr;
  auto& siblings = parent->subviews_;
  siblings.erase(std::remove_if(siblings.begin(), siblings.end(),
                                [this](const auto& v) { return v.get() == this; }),
                 siblings.end());
  parent->notifyChanged();
}

View* View::viewWithTag(int tag) {
  if (tag_ == tag) {
    return this;
  }
  for (const auto& subview : subviews_) {
    if (View* found = subview->viewWithTag(tag)) {
      return found;
    }
  }
  return nullptr;
}

}  // namespace platform
