#include "Image.h"

#include "Bundle.h"

namespace platform {

std::optional<Image> Image::imageNamed(const std::string& name) {
  const auto path = Bundle::pathForResource(name);
  if (!path) {
    return std::nullopt;
  }
  return Image(name, *path);
}

}  // namespace platform
