#pragma once

#include <filesystem>
#include <mutex>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

namespace platform {

// A small persistent key/value store (one JSON object in a file). Every
// change is written through at once, atomically and durably, so a crash
// never leaves a half-written file. An unreadable or corrupt file counts as
// empty: it is kept aside as "<file>.corrupt" and a warning is printed.
class UserDefaults {
 public:
  explicit UserDefaults(std::filesystem::path file);

  // The instance in $XDG_CONFIG_HOME/vantory/defaults.json
  // (~/.config/vantory/ by default) unless another path was set.
  static UserDefaults& standardUserDefaults();
  // Points the standard instance at another file (tests, --defaults).
  static void setStandardPath(std::filesystem::path file);
  static std::filesystem::path defaultPath();

  std::optional<nlohmann::json> objectForKey(const std::string& key) const;
  void setObject(const nlohmann::json& value, const std::string& key);
  void removeObjectForKey(const std::string& key);

  const std::filesystem::path& path() const { return file_; }

 private:
  void load();
  void save() const;

  std::filesystem::path file_;
  mutable std::mutex mutex_;
  nlohmann::json values_ = nlohmann::json::object();
};

}  // namespace platform
