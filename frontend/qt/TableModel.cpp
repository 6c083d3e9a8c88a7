#include "TableModel.h"

#include <QColor>

#include "frontend/qt/QtStyle.h"
#include "platform/toolkit/Label.h"

namespace vantory::qt {

TableModel::TableModel(std::shared_ptr<platform::TableView> table, QObject* parent)
    : QAbstractListModel(parent), table_(std::move(table)) {
  rebuild();
}

void TableModel::rebuild() {
  beginResetModel();
  entries_ = platform::TableRowList::entries(*table_);
  cells_.clear();
  headers_.clear();
  cellHeight_ = 0;
  endResetModel();
}

int TableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(entries_.size());
}

std::optional<platform::IndexPath> TableModel::indexPathAt(int row) const {
  if (row < 0 || row >= static_cast<int>(entries_.size()) ||
      entries_[static_cast<std::size_t>(row)].header) {
    return std::nullopt;
  }
  const auto& entry = entries_[static_cast<std::size_t>(row)];
  return platform::IndexPath{entry.section, entry.row};
}

QVariant TableModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= static_cast<int>(entries_.size())) {
    return {};
  }
  const auto entry = static_cast<std::size_t>(index.row());
  return entries_[entry].header ? sectionHeaderData(entry, role) : cellData(entry, role);
}

QVariant TableModel::sectionHeaderData(std::size_t entry, int role) const {
  auto found = headers_.find(entry);
  if (found == headers_.end()) {
    found = headers_.emplace(entry, table_->headerViewForSection(entries_[entry].section)).first;
  }
  const auto header = platform::TableRowList::headerContent(found->second.get());
  switch (role) {
    case KindRole:
      return QStringLiteral("header");
    case Qt::DisplayRole:
      return QtStyle::text(header.text);
    case ColorRole:
      return QtStyle::color(header.color, Qt::black);
    case FontRole:
      return header.font ? QtStyle::font(*header.font) : QFont();
    case HeightRole:
      return table_->headerHeightForSection(entries_[entry].section);
    default:
      return {};
  }
}

const std::shared_ptr<platform::TableViewCell>& TableModel::cellAt(std::size_t entry) const {
  auto found = cells_.find(entry);
  if (found == cells_.end()) {
    const auto& at = entries_[entry];
    found = cells_.emplace(entry, table_->cellForRowAtIndexPath({at.section, at.row})).first;
  }
  return found->second;
}

int TableModel::cellHeight() const {
  if (cellHeight_ == 0) {
    cellHeight_ = 44;
    for (std::size_t entry = 0; entry < entries_.size(); ++entry) {
      if (!entries_[entry].header) {
        const auto& cell = cellAt(entry);
        if (cell && platform::TableRowList::cellContent(*cell).style ==
                        platform::TableRowList::CellContent::Style::item) {
          cellHeight_ = 56;  // three labels
        }
        break;
      }
    }
  }
  return cellHeight_;
}

QVariant TableModel::cellData(std::size_t entry, int role) const {
  if (role == HeightRole) {
    return cellHeight();
  }
  const auto& cell = cellAt(entry);
  if (!cell) {
    return {};
  }
  using Style = platform::TableRowList::CellContent::Style;
  const auto content = platform::TableRowList::cellContent(*cell);
  switch (role) {
    case KindRole:
      return QStringLiteral("cell");
    case StyleRole:
      return content.style == Style::item          ? QStringLiteral("item")
             : content.style == Style::rightDetail ? QStringLiteral("detail")
                                                   : QStringLiteral("basic");
    case Qt::DisplayRole:
      return QtStyle::text(content.title);
    case DetailRole:
      return QtStyle::text(content.detail);
    case ThirdRole:
      return QtStyle::text(content.third);
    case TintRole:
      return QtStyle::color(content.tint, QColor(Qt::gray));
    case Qt::ToolTipRole: {
      // The whole text, for rows too long to show it.
      QStringList parts;
      for (const QString& part :
           {cellData(entry, Qt::DisplayRole).toString(), cellData(entry, DetailRole).toString(),
            cellData(entry, ThirdRole).toString()}) {
        if (!part.isEmpty()) {
          parts << part;
        }
      }
      return parts.join(QLatin1Char('\n'));
    }
    default:
      return {};
  }
}

}  // namespace vantory::qt
