#include "QtStyle.h"

#include <QApplication>

namespace vantory::qt {

QColor QtStyle::color(const platform::Color& color) {
  return QColor::fromRgbF(static_cast<float>(color.red), static_cast<float>(color.green),
                          static_cast<float>(color.blue), static_cast<float>(color.alpha));
}

QColor QtStyle::color(const std::optional<platform::Color>& color, const QColor& fallback) {
  return color ? QtStyle::color(*color) : fallback;
}

QFont QtStyle::font(const platform::Font& font) {
  QFont result = QApplication::font();
  result.setPointSizeF(font.pointSize * 0.75);  // model points are phone points
  result.setBold(font.bold);
  return result;
}

Qt::Alignment QtStyle::alignment(platform::TextAlignment alignment) {
  switch (alignment) {
    case platform::TextAlignment::center:
      return Qt::AlignHCenter | Qt::AlignVCenter;
    case platform::TextAlignment::right:
      return Qt::AlignRight | Qt::AlignVCenter;
    case platform::TextAlignment::left:
      break;
  }
  return Qt::AlignLeft | Qt::AlignVCenter;
}

QString QtStyle::text(const std::optional<std::string>& text) {
  return text ? QString::fromStdString(*text) : QString();
}

QString QtStyle::text(const std::string& text) { return QString::fromStdString(text); }

}  // namespace vantory::qt
