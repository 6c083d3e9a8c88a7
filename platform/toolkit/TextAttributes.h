#pragma once

#include <optional>
#include <string>

#include "Color.h"
#include "Font.h"

namespace platform {

// The attributes of a styled text (foreground colour and font).
struct TextAttributes {
  std::optional<Color> foregroundColor;
  std::optional<Font> font;
  bool operator==(const TextAttributes&) const = default;
};

struct AttributedString {
  std::string string;
  TextAttributes attributes;
  bool operator==(const AttributedString&) const = default;
};

}  // namespace platform
