#pragma once

#include <functional>
#include <memory>

#include "Storyboard.h"
#include "Window.h"

namespace platform {

// What the application tells its delegate.
class ApplicationDelegate {
 public:
  virtual ~ApplicationDelegate() = default;
  virtual bool didFinishLaunchingWithOptions() = 0;
  virtual void applicationWillResignActive() {}
  virtual void applicationDidEnterBackground() {}
  virtual void applicationWillEnterForeground() {}
  virtual void applicationDidBecomeActive() {}
  virtual void applicationWillTerminate() {}

  const std::shared_ptr<Window>& window() const { return window_; }
  void setWindow(std::shared_ptr<Window> window) { window_ = std::move(window); }

 private:
  std::shared_ptr<Window> window_;
};

// The application loop: launches the delegate, loads the main storyboard into
// a window showing its initial screen, then runs the front-end's loop.
class Application {
 public:
  using RunLoop = std::function<int()>;

  // Returns the run loop's result (0 for a loop that simply ends).
  static int applicationMain(const std::shared_ptr<ApplicationDelegate>& delegate,
                             const std::shared_ptr<Storyboard>& mainStoryboard,
                             const RunLoop& runLoop);
};

}  // namespace platform
