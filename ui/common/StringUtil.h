#pragma once

#include <optional>
#include <string>

namespace vantory {

class StringUtil {
 public:
  StringUtil() = delete;

  // False for absent text, empty text and text of spaces (U+0020) only.
  // Tabs and line breaks count as content. The text itself is not changed:
  // callers send what was typed.
  static bool isNotBlank(const std::optional<std::string>& text);
};

}  // namespace vantory
