#include "Bundle.h"

#include <mutex>

namespace platform {

namespace {
std::mutex& bundleMutex() {
  static std::mutex mutex;
  return mutex;
}
std::filesystem::path& directorySlot() {
  static std::filesystem::path directory = VANTORY_BUILD_RESOURCE_DIR;
  return directory;
}
}  // namespace

std::filesystem::path Bundle::resourceDirectory() {
  std::lock_guard lock(bundleMutex());
  return directorySlot();
}

void Bundle::setResourceDirectory(std::filesystem::path directory) {
  std::lock_guard lock(bundleMutex());
  directorySlot() = std::move(directory);
}

std::optional<std::filesystem::path> Bundle::pathForResource(const std::string& name) {
  if (name.empty() || name.find("..") != std::string::npos) {
    return std::nullopt;
  }
  const std::filesystem::path path = resourceDirectory() / name;
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) {
    return std::nullopt;
  }
  return path;
}

}  // namespace platform
