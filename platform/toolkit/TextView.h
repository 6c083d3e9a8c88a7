#pragma once

#include <optional>
#include <string>

#include "View.h"

namespace platform {

// A multi-line, scrollable text.
class TextView : public View {
 public:
  explicit TextView(Rect frame = {}) : View(frame) {}

  const std::optional<std::string>& text() const { return text_; }
  void setText(std::optional<std::string> text);

 private:
  std::optional<std::string> text_;
};

}  // namespace platform
