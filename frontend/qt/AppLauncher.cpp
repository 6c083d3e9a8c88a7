#include "AppLauncher.h"

#include "app/Settings.h"
#include "app/VantoryApplication.h"
#include "net/ServerApi.h"
#include "platform/UserDefaults.h"
#include "platform/toolkit/Bundle.h"

namespace vantory::qt {

std::filesystem::path AppLauncher::findResources(const std::filesystem::path& executable) {
  auto installed = executable.parent_path().parent_path() / "share" / "vantory";
  std::error_code error;
  if (std::filesystem::exists(installed / "Main.storyboard.json", error)) {
    return installed;
  }
  return platform::Bundle::resourceDirectory();
}

AppLauncher::AppLauncher(const AppSettings& settings) : delegate_(std::make_shared<AppDelegate>()) {
  if (settings.defaults) {
    platform::UserDefaults::setStandardPath(*settings.defaults);
  }
  if (settings.resources) {
    platform::Bundle::setResourceDirectory(*settings.resources);
  }
  // The service: --service, else the stored "ServiceHost", else this machine.
  service_ = Settings::startupServiceAddress(settings.service);
  ServerApi::setBaseAddress(service_);

  VantoryApplication::main(delegate_, {});
  renderer_ = std::make_unique<QtRenderer>(delegate_->window());
}

}  // namespace vantory::qt
