#include "AppLauncher.h"

namespace vantory::qt {

AppLauncher::AppLauncher(const AppStart::Options& options)
    : delegate_(std::make_shared<AppDelegate>()),
      service_(AppStart::start(delegate_, options)),
      renderer_(std::make_unique<QtRenderer>(delegate_->window())) {}

AppLauncher::~AppLauncher() { AppStart::finish(); }

}  // namespace vantory::qt
