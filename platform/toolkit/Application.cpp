#include "Application.h"

namespace platform {

int Application::applicationMain(const std::shared_ptr<ApplicationDelegate>& delegate,
                                 const std::shared_ptr<Storyboard>& mainStoryboard,
                                 const RunLoop& runLoop) {
  auto window = std::make_shared<Window>();
  delegate->setWindow(window);
  window->setRootViewController(mainStoryboard->instantiateInitialViewController());
  delegate->didFinishLaunchingWithOptions();
  window->makeKeyAndVisible();
  const int result = runLoop ? runLoop() : 0;
  delegate->applicationWillTerminate();
  return result;
}

}  // namespace platform
