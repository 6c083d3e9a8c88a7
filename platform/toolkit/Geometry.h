#pragma once

namespace platform {

struct Size {
  double width = 0;
  double height = 0;
  bool operator==(const Size&) const = default;
};

struct Rect {
  double x = 0;
  double y = 0;
  double width = 0;
  double height = 0;
  Size size() const { return {width, height}; }
  bool operator==(const Rect&) const = default;
};

struct IndexPath {
  int section = 0;
  int row = 0;
  bool operator==(const IndexPath&) const = default;
};

// The size a screen has until a front-end lays it out (a phone's).
inline constexpr Rect kScreenBounds{0, 0, 390, 780};

enum class TextAlignment { left = 0, center = 1, right = 2 };

}  // namespace platform
