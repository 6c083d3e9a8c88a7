#include "VantoryApplication.h"

#include "app/ScreenClasses.h"
#include "platform/toolkit/Storyboard.h"

namespace vantory {

int VantoryApplication::main(const std::shared_ptr<AppDelegate>& delegate,
                             const platform::Application::RunLoop& runLoop) {
  registerScreenClasses();
  return platform::Application::applicationMain(
      delegate, platform::Storyboard::storyboardWithName("Main"), runLoop);
}

}  // namespace vantory
