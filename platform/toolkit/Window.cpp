#include "Window.h"

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

}  // namespace platform
