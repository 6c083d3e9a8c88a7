#include "ViewController.h"

#include "platform/DispatchQueue.h"

#include "NavigationController.h"
#include "TableView.h"

namespace platform {

namespace {

void layoutTables(View& view) {
  if (auto* table = dynamic_cast<TableView*>(&view)) {
    table->layoutIfNeeded();
  }
  for (const auto& subview : view.subviews()) {
    layoutTables(*subview);
  }
}

}  // namespace

ViewController::ViewController() : navigationItem_(std::make_shared<NavigationItem>()) {}

ViewController::~ViewController() = default;

View& ViewController::view() {
  if (!view_) {
    view_ = viewLoader_ ? viewLoader_(*this) : nullptr;
    if (!view_) {
      view_ = std::make_shared<View>(kScreenBounds);
    }
    viewDidLoad();
    notifyChanged();
  }
  return *view_;
}

void ViewController::appear(bool animated) {
  View& root = view();
  layoutTables(root);
  viewWillAppear(animated);
  viewDidAppear(animated);
  notifyChanged();
}

void ViewController::presentViewController(std::shared_ptr<ViewController> controller,
                                           bool animated, Completion completion) {
  if (!controller) {
    return;
  }
  DispatchQueue::main().async([self = shared_from_this(), controller = std::move(controller),
                               animated, completion = std::move(completion)] {
    // A screen inside a navigation stack presents over the whole stack.
    ViewController* presenter = self.get();
    while (presenter->navigationController_ != nullptr) {
      presenter = presenter->navigationController_;
    }
    presenter->presentNow(controller, animated, completion);
  });
}

void ViewController::presentNow(std::shared_ptr<ViewController> controller, bool animated,
                                const Completion& completion) {
  if (presented_) {
    waiting_.push_back({std::move(controller), animated, completion});
    return;
  }
  presented_ = std::move(controller);
  presented_->presenting_ = this;
  presented_->appear(animated);
  notifyChanged();
  if (completion) {
    completion();
  }
}

void ViewController::dismissViewControllerAnimated(bool animated, const Completion& completion) {
  // Called on the presented screen or on its presenter.
  ViewController* presenter = presented_ ? this : presenting_;
  if (presenter == nullptr || !presenter->presented_) {
    return;
  }
  const auto keepAlive = presenter->shared_from_this();
  presenter->presented_->presenting_ = nullptr;
  presenter->presented_.reset();
  presenter->notifyChanged();
  if (completion) {
    completion();
  }
  if (!presenter->waiting_.empty()) {
    Waiting next = std::move(presenter->waiting_.front());
    presenter->waiting_.pop_front();
    presenter->presentNow(std::move(next.controller), next.animated && animated, next.completion);
  }
}

bool ViewController::connectOutlet(const std::string& name,
                                   const std::shared_ptr<ModelObject>& object) {
  const auto found = outlets_.find(name);
  return found != outlets_.end() && found->second(object);
}

bool ViewController::respondsToAction(const std::string& name) const {
  return actions_.count(name) > 0;
}

bool ViewController::performAction(const std::string& name, ModelObject* sender) {
  const auto found = actions_.find(name);
  if (found == actions_.end()) {
    return false;
  }
  found->second(sender);
  return true;
}

}  // namespace platform
