#pragma once

#include <memory>

#include "ModelObject.h"
#include "ViewController.h"

namespace platform {

// The application's window: shows its root screen and whatever is presented
// over it.
class Window : public ModelObject {
 public:
  const std::shared_ptr<ViewController>& rootViewController() const { return root_; }
  void setRootViewController(std::shared_ptr<ViewController> controller);

  void makeKeyAndVisible();

  // The screen in front: the last presented one, or the root.
  ViewController* frontViewController() const;

 private:
  std::shared_ptr<ViewController> root_;
};

}  // namespace platform
