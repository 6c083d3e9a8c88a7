#pragma once

#include <optional>

#include "Image.h"

namespace platform {

// An RGBA colour (components 0 to 1), or a pattern tiled from an image.
struct Color {
  double red = 0;
  double green = 0;
  double blue = 0;
  double alpha = 1;
  std::optional<Image> patternImage;

  static Color rgba(double red, double green, double blue, double alpha) {
    return Color{red, green, blue, alpha, std::nullopt};
  }
  static Color withPatternImage(const Image& image) { return Color{0, 0, 0, 1, image}; }

  // The toolkit's named colours.
  static Color brownColor() { return rgba(0.6, 0.4, 0.2, 1.0); }
  static Color redColor() { return rgba(1.0, 0.0, 0.0, 1.0); }
  static Color blackColor() { return rgba(0.0, 0.0, 0.0, 1.0); }
  static Color whiteColor() { return rgba(1.0, 1.0, 1.0, 1.0); }
  static Color clearColor() { return rgba(0.0, 0.0, 0.0, 0.0); }

  bool operator==(const Color&) const = default;
};

}  // namespace platform
