#pragma once

#include <QStyledItemDelegate>

namespace vantory::qt {

// Draws the layout's cell prototypes: "itemCell" (name, description and
// price), cells with a detail on the right, plain cells, and section headers.
class CellDelegate : public QStyledItemDelegate {
  Q_OBJECT

 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

}  // namespace vantory::qt
