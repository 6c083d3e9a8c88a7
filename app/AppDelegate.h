#pragma once

#include "platform/toolkit/Application.h"

namespace vantory {

// Accepts the launch; the registration screen decides what comes first.
class AppDelegate : public platform::ApplicationDelegate {
 public:
  bool didFinishLaunchingWithOptions() override { return true; }
};

}  // namespace vantory
