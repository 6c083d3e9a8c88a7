#pragma once

namespace platform {

struct Font {
  double pointSize = 17;
  bool bold = false;

  static Font systemFontOfSize(double size) { return Font{size, false}; }
  static Font boldSystemFontOfSize(double size) { return Font{size, true}; }
  bool operator==(const Font&) const = default;
};

}  // namespace platform
