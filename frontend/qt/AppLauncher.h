#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "app/AppDelegate.h"
#include "frontend/qt/MainQueueBridge.h"
#include "frontend/qt/QtRenderer.h"

namespace vantory::qt {

// What `vantory` needs to start: where the service is, where the settings
// and the resources are. Tests use it the same way.
struct AppSettings {
  std::optional<std::string> service;             // --service
  std::optional<std::filesystem::path> defaults;  // --defaults
  std::optional<std::filesystem::path> resources;
};

// Starts the application shell and its renderer inside a running
// QApplication; the GUI loop is the caller's.
class AppLauncher {
 public:
  explicit AppLauncher(const AppSettings& settings);

  QtRenderer& renderer() { return *renderer_; }
  const std::shared_ptr<AppDelegate>& delegate() const { return delegate_; }
  const std::string& serviceAddress() const { return service_; }

  // The resources next to an installed binary, else the build tree's.
  static std::filesystem::path findResources(const std::filesystem::path& executable);

 private:
  MainQueueBridge bridge_;
  std::shared_ptr<AppDelegate> delegate_;
  std::unique_ptr<QtRenderer> renderer_;
  std::string service_;
};

}  // namespace vantory::qt
