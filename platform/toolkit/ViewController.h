#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "ModelObject.h"
#include "NavigationItem.h"
#include "View.h"

namespace platform {

class NavigationController;
class Storyboard;

// Base of every screen: a root view loaded once, a lifecycle (load, appear),
// modal presentation, and the outlets and actions a layout wires by name.
class ViewController : public ModelObject, public std::enable_shared_from_this<ViewController> {
 public:
  using ViewLoader = std::function<std::shared_ptr<View>(ViewController&)>;
  using Completion = std::function<void()>;

  ViewController();
  ~ViewController() override;

  // The root view; the first use loads it and then calls viewDidLoad.
  View& view();
  bool isViewLoaded() const { return view_ != nullptr; }

  virtual void viewDidLoad() {}
  virtual void viewWillAppear(bool /*animated*/) {}
  virtual void viewDidAppear(bool /*animated*/) {}
  virtual void didReceiveMemoryWarning() {}

  NavigationItem& navigationItem() { return *navigationItem_; }
  NavigationController* navigationController() const { return navigationController_; }
  const std::shared_ptr<Storyboard>& storyboard() const { return storyboard_; }

  // Shown over this screen (or over its navigation stack) on a later turn
  // of the main queue. While something is already presented there, the new
  // one waits until that is dismissed, so no request to show is lost.
  void presentViewController(std::shared_ptr<ViewController> controller, bool animated,
                             Completion completion = {});
  void dismissViewControllerAnimated(bool animated, const Completion& completion = {});
  ViewController* presentedViewController() const { return presented_.get(); }
  ViewController* presentingViewController() const { return presenting_; }

  // --- wiring, used by the storyboard -------------------------------------
  bool connectOutlet(const std::string& name, const std::shared_ptr<ModelObject>& object);
  bool respondsToAction(const std::string& name) const;
  bool performAction(const std::string& name, ModelObject* sender);
  void setStoryboard(std::shared_ptr<Storyboard> storyboard) {
    storyboard_ = std::move(storyboard);
  }
  void setViewLoader(ViewLoader loader) { viewLoader_ = std::move(loader); }

  // --- lifecycle, driven by windows, navigation and presentation ----------
  virtual void appear(bool animated);
  void setNavigationController(NavigationController* controller) {
    navigationController_ = controller;
  }

 protected:
  // A weakly held outlet: the view belongs to the root view.
  template <typename T>
  void outlet(const std::string& name, T*& slot) {
    outlets_[name] = [&slot](const std::shared_ptr<ModelObject>& object) {
      auto* typed = dynamic_cast<T*>(object.get());
      if (typed != nullptr) {
        slot = typed;
      }
      return typed != nullptr;
    };
  }
  // A strongly held outlet (bar button items).
  template <typename T>
  void outlet(const std::string& name, std::shared_ptr<T>& slot) {
    outlets_[name] = [&slot](const std::shared_ptr<ModelObject>& object) {
      auto typed = std::dynamic_pointer_cast<T>(object);
      if (typed) {
        slot = typed;
      }
      return typed != nullptr;
    };
  }
  void action(const std::string& name, std::function<void(ModelObject* sender)> handler) {
    actions_[name] = std::move(handler);
  }

  template <typename T>
  std::shared_ptr<T> sharedThis() {
    return std::static_pointer_cast<T>(shared_from_this());
  }

 private:
  void presentNow(std::shared_ptr<ViewController> controller, bool animated,
                  const Completion& completion);

  struct Waiting {
    std::shared_ptr<ViewController> controller;
    bool animated;
    Completion completion;
  };

  std::shared_ptr<View> view_;
  ViewLoader viewLoader_;
  std::shared_ptr<NavigationItem> navigationItem_;
  NavigationController* navigationController_ = nullptr;
  std::shared_ptr<Storyboard> storyboard_;
  std::shared_ptr<ViewController> presented_;
  ViewController* presenting_ = nullptr;
  std::deque<Waiting> waiting_;
  std::map<std::string, std::function<bool(const std::shared_ptr<ModelObject>&)>> outlets_;
  std::map<std::string, std::function<void(ModelObject*)>> actions_;
};

}  // namespace platform
