#pragma once

#include <memory>

#include "app/AppDelegate.h"
#include "platform/toolkit/Application.h"

namespace vantory {

// Starts the application shell: the delegate, the "Main" layout and its
// initial screen (the registration screen), then the front-end's loop.
class VantoryApplication {
 public:
  VantoryApplication() = delete;
  static int main(const std::shared_ptr<AppDelegate>& delegate,
                  const platform::Application::RunLoop& runLoop);
};

}  // namespace vantory
