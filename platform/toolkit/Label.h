#pragma once

#include <optional>
#include <string>

#include "Font.h"
#include "View.h"

namespace platform {

class Label : public View {
 public:
  explicit Label(Rect frame = {}) : View(frame) {}

  // Absent: no text.
  const std::optional<std::string>& text() const { return text_; }
  void setText(std::optional<std::string> text);

  const std::optional<Color>& textColor() const { return textColor_; }
  void setTextColor(std::optional<Color> color);

  const Font& font() const { return font_; }
  void setFont(const Font& font);

  TextAlignment textAlignment() const { return textAlignment_; }
  void setTextAlignment(TextAlignment alignment);

  // Shrinks or grows the frame to the text's natural size (an estimate from
  // the font; front-ends measure for real when they draw).
  void sizeToFit();

 private:
  std::optional<std::string> text_;
  std::optional<Color> textColor_;
  Font font_ = Font::systemFontOfSize(17);
  TextAlignment textAlignment_ = TextAlignment::left;
};

}  // namespace platform
