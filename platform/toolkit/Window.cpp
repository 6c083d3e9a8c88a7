#include "Window.h"

#include "AlertController.h"
#include "NavigationController.h"

namespace platform {

void Window::setRootViewController(std::shared_ptr<ViewController> controller) {
  root_ = std::move(controller);
  notifyChanged();
}

void Window::makeKeyAndVisible() {
  if (root_) {
    root_->appear(false);
  }
}

ViewController* Window::frontViewController() const {
  ViewController* front = root_.get();
  while (front != nullptr && front->presentedViewController() != nullptr) {
    front = front->presentedViewController();
  }
  return front;
}

Window::Front Window::front() const {
  Front shown;
  ViewController* front = root_.get();
  while (front != nullptr && front->presentedViewController() != nullptr) {
    ViewController* next = front->presentedViewController();
    if (auto* alert = dynamic_cast<AlertController*>(next)) {
      shown.alert = alert;
      break;
    }
    front = next;
  }
  shown.navigation = dynamic_cast<NavigationController*>(front);
  shown.screen = shown.navigation != nullptr ? shown.navigation->topViewController() : front;
  return shown;
}

}  // namespace platform
