#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "app/AppDelegate.h"

namespace vantory {

// What every front-end does to start the app: where the settings and the
// resources are, which service to use, then the application shell, which
// follows the service's changes. The front-end's own loop and renderer come
// after.
class AppStart {
 public:
  struct Options {
    std::optional<std::string> service;             // --service, for this run only
    std::optional<std::filesystem::path> defaults;  // --defaults
    std::optional<std::filesystem::path> resources;
    // --ca-file: the certificate authority HTTPS services are checked
    // against, instead of the system's trust store.
    std::optional<std::filesystem::path> certificateAuthority;
  };

  AppStart() = delete;

  // Starts the shell with the delegate; gives the service address in use as
  // it may be shown (without any credentials in it). Throws when an option
  // cannot be used.
  static std::string start(const std::shared_ptr<AppDelegate>& delegate, const Options& options);
  // What ends with the app: following the service's changes.
  static void finish();

  // The resources next to an installed binary, else the build tree's.
  static std::filesystem::path findResources(const std::filesystem::path& executable);

  // The options a front-end's command line gave (an empty text leaves the
  // default), with the resources found beside the running binary.
  static Options fromCommandLine(const std::string& service, const std::string& defaults,
                                 const std::string& certificateAuthority);
};

}  // namespace vantory
