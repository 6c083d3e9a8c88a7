#include "CellDelegate.h"

#include <QPainter>

#include "frontend/qt/TableModel.h"

namespace vantory::qt {

void CellDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                         const QModelIndex& index) const {
  painter->save();
  painter->setRenderHint(QPainter::Antialiasing);
  const QRect area = option.rect.adjusted(12, 0, -12, 0);

  if (index.data(TableModel::KindRole).toString() == QLatin1String("header")) {
    painter->fillRect(option.rect, QColor(255, 255, 255, 150));
    painter->setFont(index.data(TableModel::FontRole).value<QFont>());
    painter->setPen(index.data(TableModel::ColorRole).value<QColor>());
    painter->drawText(area, Qt::AlignLeft | Qt::AlignVCenter, index.data().toString());
    painter->restore();
    return;
  }

  const bool selected = (option.state & QStyle::State_Selected) != 0;
  painter->fillRect(option.rect.adjusted(0, 1, 0, -1),
                    selected ? QColor(232, 218, 196, 230) : QColor(255, 255, 255, 200));
  const QColor tint = index.data(TableModel::TintRole).value<QColor>();
  // The accessory the tint colours: a chevron on the right.
  painter->setPen(QPen(tint, 2));
  const QPoint tip(option.rect.right() - 14, option.rect.center().y());
  painter->drawLine(tip + QPoint(-5, -5), tip);
  painter->drawLine(tip + QPoint(-5, 5), tip);

  const QRect text = area.adjusted(0, 0, -18, 0);
  const QString style = index.data(TableModel::StyleRole).toString();
  QFont font = option.font;
  if (style == QLatin1String("item")) {
    const QString price = index.data(TableModel::ThirdRole).toString();
    QFont bold = font;
    bold.setBold(true);
    painter->setFont(bold);
    painter->setPen(QColor(40, 30, 20));
    const QRect top(text.left(), text.top() + 6, text.width(), text.height() / 2 - 6);
    const QRect bottom(text.left(), text.center().y(), text.width(), text.height() / 2 - 6);
    const int priceWidth = painter->fontMetrics().horizontalAdvance(price) + 8;
    painter->drawText(top.adjusted(0, 0, -priceWidth, 0), Qt::AlignLeft | Qt::AlignVCenter,
                      painter->fontMetrics().elidedText(index.data().toString(), Qt::ElideRight,
                                                        top.width() - priceWidth));
    painter->setPen(QColor(150, 40, 30));
    painter->drawText(top, Qt::AlignRight | Qt::AlignVCenter, price);
    painter->setFont(font);
    painter->setPen(QColor(100, 90, 80));
    painter->drawText(
        bottom, Qt::AlignLeft | Qt::AlignVCenter,
        painter->fontMetrics().elidedText(index.data(TableModel::DetailRole).toString(),
                                          Qt::ElideRight, bottom.width()));
  } else {
    // A long text ends in "…" (the whole of it is the row's tooltip); a
    // detail keeps its room on the right.
    painter->setFont(font);
    const QString detail = style == QLatin1String("detail")
                               ? index.data(TableModel::DetailRole).toString()
                               : QString();
    const int detailWidth =
        detail.isEmpty() ? 0 : painter->fontMetrics().horizontalAdvance(detail) + 12;
    painter->setPen(QColor(40, 30, 20));
    painter->drawText(text.adjusted(0, 0, -detailWidth, 0), Qt::AlignLeft | Qt::AlignVCenter,
                      painter->fontMetrics().elidedText(index.data().toString(), Qt::ElideRight,
                                                        text.width() - detailWidth));
    if (!detail.isEmpty()) {
      painter->setPen(QColor(120, 110, 100));
      painter->drawText(text, Qt::AlignRight | Qt::AlignVCenter, detail);
    }
  }
  painter->restore();
}

QSize CellDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
  // Asks only for the height: no cell is built just to measure it. Rows take
  // the list's width, whatever it is, so no width is asked for.
  (void)option;
  return {0, static_cast<int>(index.data(TableModel::HeightRole).toDouble())};
}

}  // namespace vantory::qt
