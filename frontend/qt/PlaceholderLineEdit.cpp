#include "PlaceholderLineEdit.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionFrame>

namespace vantory::qt {

PlaceholderLineEdit::PlaceholderLineEdit(QWidget* parent) : QLineEdit(parent) {}

void PlaceholderLineEdit::setPlaceholder(const QString& text, const QColor& color,
                                         const QFont& font) {
  placeholder_ = text;
  placeholderColor_ = color;
  placeholderFont_ = font;
  setAccessibleDescription(text);
  update();
}

void PlaceholderLineEdit::paintEvent(QPaintEvent* event) {
  QLineEdit::paintEvent(event);
  if (!text().isEmpty() || placeholder_.isEmpty()) {
    return;
  }
  QStyleOptionFrame option;
  initStyleOption(&option);
  // Where Qt draws the text: the contents less the text margins and the
  // line edit's own two pixels either side.
  QRect area = style()->subElementRect(QStyle::SE_LineEditContents, &option, this);
  area = area.marginsRemoved(textMargins()).adjusted(2, 0, -2, 0);
  QPainter painter(this);
  painter.setFont(placeholderFont_);
  painter.setPen(placeholderColor_);
  painter.drawText(area, static_cast<int>(alignment()),
                   painter.fontMetrics().elidedText(placeholder_, Qt::ElideRight, area.width()));
}

}  // namespace vantory::qt
