#include "AppStart.h"

#include <fstream>
#include <stdexcept>

#include "app/Settings.h"
#include "app/VantoryApplication.h"
#include "net/LiveChanges.h"
#include "net/ServerApi.h"
#include "platform/Url.h"
#include "platform/UrlSession.h"
#include "platform/UserDefaults.h"
#include "platform/toolkit/Bundle.h"

namespace vantory {

std::string AppStart::start(const std::shared_ptr<AppDelegate>& delegate, const Options& options) {
  if (options.defaults) {
    platform::UserDefaults::setStandardPath(*options.defaults);
  }
  if (options.resources) {
    platform::Bundle::setResourceDirectory(*options.resources);
  }
  if (options.certificateAuthority) {
    std::ifstream readable(*options.certificateAuthority);
    std::error_code ignored;
    if (!readable || std::filesystem::is_directory(*options.certificateAuthority, ignored)) {
      throw std::runtime_error("cannot read the certificate authority file " +
                               options.certificateAuthority->string());
    }
    if (!platform::UrlSession::trustCertificateAuthorityFile(
            options.certificateAuthority->string())) {
      throw std::runtime_error("this build trusts only its platform's certificate store");
    }
  }
  // The service: --service, else the stored "ServiceHost", else this machine.
  std::string service = Settings::startupServiceAddress(options.service);
  if (auto refusal = Settings::checkServiceAddress(service)) {
    // Started anyway, every request would fail without a word of why.
    const std::string shown = "\"" + platform::Url::withoutCredentials(service) + "\"";
    throw std::runtime_error((options.service
                                  ? "--service " + shown + ": "
                                  : "the stored service address " + shown +
                                        " cannot be used (start with --service to replace it): ") +
                             *refusal);
  }
  ServerApi::setBaseAddress(service);
  VantoryApplication::main(delegate, {});
  LiveChanges::start(service);
  return platform::Url::withoutCredentials(service);
}

void AppStart::finish() { LiveChanges::stop(); }

std::filesystem::path AppStart::findResources(const std::filesystem::path& executable) {
  auto installed = executable.parent_path().parent_path() / "share" / "vantory";
  std::error_code error;
  if (std::filesystem::exists(installed / "Main.storyboard.json", error)) {
    return installed;
  }
  return platform::Bundle::resourceDirectory();
}

AppStart::Options AppStart::fromCommandLine(const std::string& service, const std::string& defaults,
                                            const std::string& certificateAuthority) {
  Options options;
  if (!service.empty()) {
    options.service = service;
  }
  if (!defaults.empty()) {
    options.defaults = defaults;
  }
  if (!certificateAuthority.empty()) {
    options.certificateAuthority = certificateAuthority;
  }
  options.resources = findResources(std::filesystem::canonical("/proc/self/exe"));
  return options;
}

}  // namespace vantory
