#include "QtStyle.h"

#include <QApplication>

#include "frontend/qt/PlaceholderLineEdit.h"

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

QString QtStyle::textColorStyle(const std::optional<platform::Color>& color,
                                const QColor& fallback) {
  return QStringLiteral("QLabel { color: %1; }").arg(QtStyle::color(color, fallback).name());
}

void QtStyle::placeholder(const platform::TextField& field, PlaceholderLineEdit& edit) {
  // Every field of the app has the brown look; a plain placeholder takes it.
  QColor color = QtStyle::color(platform::Color::brownColor());
  QFont font = edit.font();
  if (const auto& styled = field.attributedPlaceholder()) {
    color = QtStyle::color(styled->attributes.foregroundColor, color);
    if (styled->attributes.font) {
      font = QtStyle::font(*styled->attributes.font);
    }
  }
  edit.setPlaceholder(text(field.placeholder()), color, font);
}

}  // namespace vantory::qt

namespace vantory::qt {

QString QtStyle::fieldStyle(const platform::LayerStyle& layer) {
  const bool bordered = layer.borderWidth > 0 && layer.borderColor;
  return QStringLiteral(
             "QLineEdit { background: white; padding: 6px; border: %1px solid %2; "
             "border-radius: %3px; }")
      .arg(bordered ? layer.borderWidth : 1.0)
      .arg(color(bordered ? *layer.borderColor : platform::Color::brownColor()).name())
      .arg(bordered ? layer.cornerRadius : 5.0);
}

}  // namespace vantory::qt
