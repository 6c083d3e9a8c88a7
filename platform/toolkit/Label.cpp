#include "Label.h"

namespace platform {

void Label::setText(std::optional<std::string> text) {
  text_ = std::move(text);
  notifyChanged();
}

void Label::setTextColor(std::optional<Color> color) {
  textColor_ = std::move(color);
  notifyChanged();
}

void Label::setFont(const Font& font) {
  font_ = font;
  notifyChanged();
}

void Label::setTextAlignment(TextAlignment alignment) {
  textAlignment_ = alignment;
  notifyChanged();
}

void Label::sizeToFit() {
  std::size_t characters = 0;
  for (const char c : text_.value_or("")) {
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) {
      ++characters;  // count characters, not UTF-8 continuation bytes
    }
  }
  Rect frame = this->frame();
  frame.width = static_cast<double>(characters) * font_.pointSize * 0.55;
  frame.height = font_.pointSize * 1.2;
  setFrame(frame);
}

}  // namespace platform
