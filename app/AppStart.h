#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "app/AppDelegate.h"

namespace vantory {

// What every front-end does to start the app: where the settings and the
// resources are, which service to use, then the application shell. The
// front-end's own loop and renderer come after.
class AppStart {
 public:
  struct Options {
    std::optional<std::string> service;             // --service, for this run only
    std::optional<std::filesystem::path> defaults;  // --defaults
    std::optional<std::filesystem::path> resources;
  };

  AppStart() = delete;

  // Starts the shell with the delegate; gives the service address in use.
  static std::string start(const std::shared_ptr<AppDelegate>& delegate, const Options& options);

  // The resources next to an installed binary, else the build tree's.
  static std::filesystem::path findResources(const std::filesystem::path& executable);
};

}  // namespace vantory
