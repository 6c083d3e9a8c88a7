#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace platform {

// An image resource, known by name and file.
class Image {
 public:
  // Nothing when the resource does not exist.
  static std::optional<Image> imageNamed(const std::string& name);

  const std::string& name() const { return name_; }
  const std::filesystem::path& path() const { return path_; }
  bool operator==(const Image&) const = default;

 private:
  Image(std::string name, std::filesystem::path path)
      : name_(std::move(name)), path_(std::move(path)) {}
  std::string name_;
  std::filesystem::path path_;
};

}  // namespace platform
