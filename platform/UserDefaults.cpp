#include "UserDefaults.h"

#include <memory>

namespace platform {

namespace {

std::mutex& standardMutex() {
  static std::mutex mutex;
  return mutex;
}

std::unique_ptr<UserDefaults>& standardInstance() {
  static std::unique_ptr<UserDefaults> instance;
  return instance;
}

}  // namespace

UserDefaults::UserDefaults(std::filesystem::path file) : file_(std::move(file)) { load(); }

UserDefaults& UserDefaults::standardUserDefaults() {
  std::lock_guard lock(standardMutex());
  auto& instance = standardInstance();
  if (!instance) {
    instance = std::make_unique<UserDefaults>(defaultPath());
  }
  return *instance;
}

void UserDefaults::setStandardPath(std::filesystem::path file) {
  std::lock_guard lock(standardMutex());
  standardInstance() = std::make_unique<UserDefaults>(std::move(file));
}

std::optional<nlohmann::json> UserDefaults::objectForKey(const std::string& key) const {
  std::lock_guard lock(mutex_);
  const auto found = values_.find(key);
  if (found == values_.end()) {
    return std::nullopt;
  }
  return *found;
}

void UserDefaults::setObject(const nlohmann::json& value, const std::string& key) {
  std::lock_guard lock(mutex_);
  values_[key] = value;
  save();
}

void UserDefaults::removeObjectForKey(const std::string& key) {
  std::lock_guard lock(mutex_);
  if (values_.erase(key) > 0) {
    save();
  }
}

}  // namespace platform
