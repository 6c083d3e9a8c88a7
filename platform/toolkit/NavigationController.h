#pragma once

#include <memory>
#include <vector>

#include "NavigationBar.h"
#include "ViewController.h"

namespace platform {

// A stack of screens under one navigation bar; the top one is shown.
class NavigationController : public ViewController {
 public:
  NavigationController();

  const std::vector<std::shared_ptr<ViewController>>& viewControllers() const { return stack_; }
  ViewController* topViewController() const;
  NavigationBar& navigationBar() { return *navigationBar_; }

  void setRootViewController(std::shared_ptr<ViewController> root);

  // The pushed screen loads once and appears now when the stack is shown.
  void pushViewController(std::shared_ptr<ViewController> controller, bool animated);
  // The screen beneath appears again. The root screen is never popped.
  std::shared_ptr<ViewController> popViewControllerAnimated(bool animated);

  void appear(bool animated) override;

 private:
  std::vector<std::shared_ptr<ViewController>> stack_;
  std::shared_ptr<NavigationBar> navigationBar_;
  bool shown_ = false;
};

}  // namespace platform
