#include "TableModel.h"

#include <QColor>

#include "frontend/qt/QtStyle.h"
#include "platform/toolkit/Label.h"

namespace vantory::qt {

namespace {

// "itemCell": three tagged labels and no built-in ones.
bool isItemCell(platform::TableViewCell& cell) {
  return cell.textLabel() == nullptr && cell.viewWithTag(1) != nullptr;
}

std::optional<std::string> labelText(platform::View* view) {
  auto* label = dynamic_cast<platform::Label*>(view);
  return label != nullptr ? label->text() : std::nullopt;
}

platform::Label* firstLabel(const platform::View& view) {
  for (const auto& subview : view.subviews()) {
    if (auto* label = dynamic_cast<platform::Label*>(subview.get())) {
      return label;
    }
  }
  return nullptr;
}

}  // namespace

TableModel::TableModel(std::shared_ptr<platform::TableView> table, QObject* parent)
    : QAbstractListModel(parent), table_(std::move(table)) {
  rebuild();
}

void TableModel::rebuild() {
  beginResetModel();
  entries_.clear();
  cells_.clear();
  headers_.clear();
  cellHeight_ = 0;
  const int sections = table_->numberOfSections();
  for (int section = 0; section < sections; ++section) {
    if (table_->headerHeightForSection(section) > 0) {
      entries_.push_back({true, section, 0});
    }
    const int rows = table_->numberOfRowsInSection(section);
    for (int row = 0; row < rows; ++row) {
      entries_.push_back({false, section, row});
    }
  }
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
  const Entry& entry = entries_[static_cast<std::size_t>(row)];
  return platform::IndexPath{entry.section, entry.row};
}

QVariant TableModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= static_cast<int>(entries_.size())) {
    return {};
  }
  const auto entry = static_cast<std::size_t>(index.row());
  return entries_[entry].header ? headerData(entry, role) : cellData(entry, role);
}

QVariant TableModel::headerData(std::size_t entry, int role) const {
  auto found = headers_.find(entry);
  if (found == headers_.end()) {
    found = headers_.emplace(entry, table_->headerViewForSection(entries_[entry].section)).first;
  }
  platform::Label* label = found->second ? firstLabel(*found->second) : nullptr;
  switch (role) {
    case KindRole:
      return QStringLiteral("header");
    case Qt::DisplayRole:
      return label != nullptr ? QtStyle::text(label->text()) : QString();
    case ColorRole:
      return label != nullptr ? QtStyle::color(label->textColor(), Qt::black) : QColor(Qt::black);
    case FontRole:
      return label != nullptr ? QtStyle::font(label->font()) : QFont();
    case HeightRole:
      return table_->headerHeightForSection(entries_[entry].section);
    default:
      return {};
  }
}

const std::shared_ptr<platform::TableViewCell>& TableModel::cellAt(std::size_t entry) const {
  auto found = cells_.find(entry);
  if (found == cells_.end()) {
    const Entry& at = entries_[entry];
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
        if (cell && isItemCell(*cell)) {
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
  const bool tagged = isItemCell(*cell);
  switch (role) {
    case KindRole:
      return QStringLiteral("cell");
    case StyleRole:
      return tagged ? QStringLiteral("item")
                    : (cell->detailTextLabel() != nullptr ? QStringLiteral("detail")
                                                          : QStringLiteral("basic"));
    case Qt::DisplayRole:
      return QtStyle::text(tagged ? labelText(cell->viewWithTag(1)) : labelText(cell->textLabel()));
    case DetailRole:
      return QtStyle::text(tagged ? labelText(cell->viewWithTag(2))
                                  : labelText(cell->detailTextLabel()));
    case ThirdRole:
      return tagged ? QtStyle::text(labelText(cell->viewWithTag(3))) : QString();
    case TintRole:
      return QtStyle::color(cell->tintColor(), QColor(Qt::gray));
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
