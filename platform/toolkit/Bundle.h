#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace platform {

// Where the application's resources (layout, images) are.
class Bundle {
 public:
  // The build tree's resources unless set otherwise (an installed app sets it).
  static std::filesystem::path resourceDirectory();
  static void setResourceDirectory(std::filesystem::path directory);

  static std::optional<std::filesystem::path> pathForResource(const std::string& name);
};

}  // namespace platform
