#pragma once

#include <memory>
#include <string>

#include "app/AppDelegate.h"
#include "app/AppStart.h"
#include "frontend/qt/MainQueueBridge.h"
#include "frontend/qt/QtRenderer.h"

namespace vantory::qt {

// Starts the application shell and its renderer inside a running
// QApplication; the GUI loop is the caller's. Tests use it the same way.
class AppLauncher {
 public:
  explicit AppLauncher(const AppStart::Options& options);
  ~AppLauncher();
  AppLauncher(const AppLauncher&) = delete;
  AppLauncher& operator=(const AppLauncher&) = delete;

  QtRenderer& renderer() { return *renderer_; }
  const std::shared_ptr<AppDelegate>& delegate() const { return delegate_; }
  const std::string& serviceAddress() const { return service_; }

 private:
  MainQueueBridge bridge_;
  std::shared_ptr<AppDelegate> delegate_;
  std::string service_;
  std::unique_ptr<QtRenderer> renderer_;
};

}  // namespace vantory::qt
