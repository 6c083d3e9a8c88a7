#include "TextFieldLine.h"

namespace vantory::terminal {

namespace {

std::string encode(wint_t code) {
  std::string out;
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
  return out;
}

}  // namespace

void TextFieldLine::draw(Canvas& canvas, int row, int column, int width, platform::TextField& field,
                         bool focused) {
  const auto& layer = field.layer();
  const auto border = layer.borderWidth > 0 && layer.borderColor ? layer.borderColor
                                                                 : platform::Color::brownColor();
  const Canvas::Attributes frame = canvas.color(border);
  canvas.text(row, column, 1, "[", frame);
  canvas.text(row, column + width - 1, 1, "]", frame);
  const int inner = width - 4;
  const std::string text = field.text().value_or("");
  const Canvas::Attributes mark = focused ? Canvas::underline() : 0;
  canvas.blank(row, column + 1, width - 2, mark);
  const auto alignment = field.textAlignment() == platform::TextAlignment::center
                             ? Canvas::Align::center
                             : Canvas::Align::left;
  if (text.empty()) {
    const auto& styled = field.attributedPlaceholder();
    const auto color = styled && styled->attributes.foregroundColor
                           ? styled->attributes.foregroundColor
                           : platform::Color::brownColor();
    canvas.text(row, column + 2, inner, field.placeholder().value_or(""),
                canvas.color(color) | Canvas::dim() | mark, alignment);
    if (focused) {
      canvas.showCursor(row, column + 2 + (alignment == Canvas::Align::center ? inner / 2 : 0));
    }
    return;
  }
  // The end of a long text stays in view, where the cursor is.
  const int cells = Canvas::width(text);
  std::string shown = text;
  while (Canvas::width(shown) > inner && !shown.empty()) {
    std::size_t cut = 1;
    while (cut < shown.size() && (static_cast<unsigned char>(shown[cut]) & 0xC0) == 0x80) {
      ++cut;
    }
    shown.erase(0, cut);
  }
  const int drawn = canvas.text(row, column + 2, inner, shown, mark, alignment);
  if (focused) {
    const int start =
        alignment == Canvas::Align::center ? column + 2 + (inner - drawn) / 2 : column + 2;
    canvas.showCursor(row, std::min(start + std::min(cells, inner), column + width - 2));
  }
}

bool TextFieldLine::edit(platform::TextField& field, const Key& key) {
  std::string text = field.text().value_or("");
  if (key.isBackspace()) {
    // One character, not one byte.
    while (!text.empty() && (static_cast<unsigned char>(text.back()) & 0xC0) == 0x80) {
      text.pop_back();
    }
    if (!text.empty()) {
      text.pop_back();
    }
  } else if (key.isText()) {
    text += encode(key.code);
  } else {
    return false;
  }
  field.typeText(text);
  return true;
}

}  // namespace vantory::terminal
