#pragma once

#include <QAbstractListModel>

#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

#include "platform/toolkit/TableRowList.h"
#include "platform/toolkit/TableView.h"

namespace vantory::qt {

// A model table as a flat Qt list: a header row for each section that has
// one, then the section's rows. Cells are asked of the table only when a row
// is shown, so a table of thousands of rows opens at once.
class TableModel : public QAbstractListModel {
  Q_OBJECT

 public:
  enum Role {
    KindRole = Qt::UserRole + 1,  // "header" or "cell"
    StyleRole,                    // "item" (three labels), "detail" or "basic"
    DetailRole,
    ThirdRole,
    TintRole,
    ColorRole,
    FontRole,
    HeightRole,
  };

  TableModel(std::shared_ptr<platform::TableView> table, QObject* parent);

  // Takes the table's counts again (after its reloadData).
  void rebuild();

  int rowCount(const QModelIndex& parent) const override;
  QVariant data(const QModelIndex& index, int role) const override;

  // The model's index path of a row; nothing for a header row.
  std::optional<platform::IndexPath> indexPathAt(int row) const;

 private:
  QVariant cellData(std::size_t entry, int role) const;
  const std::shared_ptr<platform::TableViewCell>& cellAt(std::size_t entry) const;
  // Every cell of a table shares one prototype, so one cell tells the height
  // of all; the rest are not built until shown.
  int cellHeight() const;
  QVariant sectionHeaderData(std::size_t entry, int role) const;

  std::shared_ptr<platform::TableView> table_;
  std::vector<platform::TableRowList::Entry> entries_;
  mutable std::unordered_map<std::size_t, std::shared_ptr<platform::TableViewCell>> cells_;
  mutable std::unordered_map<std::size_t, std::shared_ptr<platform::View>> headers_;
  mutable int cellHeight_ = 0;
};

}  // namespace vantory::qt
