#pragma once

#include <QColor>
#include <QFont>
#include <QString>

#include <optional>
#include <string>

#include "platform/toolkit/Color.h"
#include "platform/toolkit/Font.h"
#include "platform/toolkit/Geometry.h"

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
};

}  // namespace vantory::qt
