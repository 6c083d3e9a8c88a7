#pragma once

#include <QColor>
#include <QFont>
#include <QString>

#include <optional>
#include <string>

#include "platform/toolkit/Color.h"
#include "platform/toolkit/Font.h"
#include "platform/toolkit/Geometry.h"
#include "platform/toolkit/TextField.h"

namespace vantory::qt {

// Model values as Qt values.
class QtStyle {
 public:
  QtStyle() = delete;

  static QColor color(const platform::Color& color);
  static QColor color(const std::optional<platform::Color>& color, const QColor& fallback);
  static QFont font(const platform::Font& font);
  static Qt::Alignment alignment(platform::TextAlignment alignment);
  static QString text(const std::optional<std::string>& text);
  static QString text(const std::string& text);

  // A text colour as a style sheet: a widget under a parent with a style
  // sheet ignores the text colour of its palette.
  static QString textColorStyle(const std::optional<platform::Color>& color,
                                const QColor& fallback);
  // The field's placeholder, in the colour and font of its styled
  // placeholder when it has one, else in the app's brown.
  static void placeholder(const platform::TextField& field, class PlaceholderLineEdit& edit);
  // A field's border: the model's, else the app's brown (1 wide, radius 5).
  static QString fieldStyle(const platform::LayerStyle& layer);
};

}  // namespace vantory::qt
