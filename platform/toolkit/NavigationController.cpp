#include "NavigationController.h"

namespace platform {

NavigationController::NavigationController() : navigationBar_(std::make_shared<NavigationBar>()) {}

ViewController* NavigationController::topViewController() const {
  return stack_.empty() ? nullptr : stack_.back().get();
}

void NavigationController::setRootViewController(std::shared_ptr<ViewController> root) {
  for (const auto& controller : stack_) {
    controller->setNavigationController(nullptr);
  }
  stack_.clear();
  if (root) {
    root->setNavigationController(this);
    stack_.push_back(std::move(root));
  }
  notifyChanged();
}

void NavigationController::pushViewController(std::shared_ptr<ViewController> controller,
                                              bool animated) {
  if (!controller) {
    return;
  }
  controller->setNavigationController(this);
  stack_.push_back(std::move(controller));
  notifyChanged();
  if (shown_) {
    stack_.back()->appear(animated);
  }
}

std::shared_ptr<ViewController> NavigationController::popViewControllerAnimated(bool animated) {
  if (stack_.size() < 2) {
    return nullptr;
  }
  std::shared_ptr<ViewController> popped = std::move(stack_.back());
  stack_.pop_back();
  popped->setNavigationController(nullptr);
  notifyChanged();
  if (shown_) {
    stack_.back()->appear(animated);
  }
  return popped;
}

void NavigationController::appear(bool animated) {
  ViewController::appear(animated);
  shown_ = true;
  if (ViewController* top = topViewController()) {
    top->appear(animated);
  }
}

}  // namespace platform
