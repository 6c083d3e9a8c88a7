#pragma once

#include <memory>

#include "ModelObject.h"
#include "ViewController.h"

namespace platform {

class AlertController;
class NavigationController;

// The application's window: shows its root screen and whatever is presented
// over it.
class Window : public ModelObject {
 public:
  const std::shared_ptr<ViewController>& rootViewController() const { return root_; }
  void setRootViewController(std::shared_ptr<ViewController> controller);

  void makeKeyAndVisible();

  // The screen in front: the last presented one, or the root.
  ViewController* frontViewController() const;

  // What a person sees, as front-ends draw it: the screen in front of the
  // last presentation that is not an alert (the top of its stack when it is
  // a navigation stack, which is then given too), and the alert over it.
  struct Front {
    ViewController* screen = nullptr;
    NavigationController* navigation = nullptr;
    AlertController* alert = nullptr;
  };
  Front front() const;

 private:
  std::shared_ptr<ViewController> root_;
};

}  // namespace platform
