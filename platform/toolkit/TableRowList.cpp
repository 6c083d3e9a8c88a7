#include "TableRowList.h"

namespace platform {

namespace {

std::optional<std::string> labelText(View* view) {
  auto* label = dynamic_cast<Label*>(view);
  return label != nullptr ? label->text() : std::nullopt;
}

}  // namespace

std::vector<TableRowList::Entry> TableRowList::entries(TableView& table) {
  std::vector<Entry> entries;
  const int sections = table.numberOfSections();
  for (int section = 0; section < sections; ++section) {
    if (table.headerHeightForSection(section) > 0) {
      entries.push_back({true, section, 0});
    }
    const int rows = table.numberOfRowsInSection(section);
    for (int row = 0; row < rows; ++row) {
      entries.push_back({false, section, row});
    }
  }
  return entries;
}

TableRowList::CellContent TableRowList::cellContent(TableViewCell& cell) {
  CellContent content;
  content.tint = cell.tintColor();
  // "itemCell": labels tagged 1, 2 and 3 and no built-in ones.
  if (cell.textLabel() == nullptr && cell.viewWithTag(1) != nullptr) {
    content.style = CellContent::Style::item;
    content.title = labelText(cell.viewWithTag(1));
    content.detail = labelText(cell.viewWithTag(2));
    content.third = labelText(cell.viewWithTag(3));
    return content;
  }
  content.style = cell.detailTextLabel() != nullptr ? CellContent::Style::rightDetail
                                                    : CellContent::Style::basic;
  content.title = labelText(cell.textLabel());
  content.detail = labelText(cell.detailTextLabel());
  return content;
}

TableRowList::HeaderContent TableRowList::headerContent(const View* header) {
  if (header == nullptr) {
    return {};
  }
  for (const auto& subview : header->subviews()) {
    if (auto* label = dynamic_cast<Label*>(subview.get())) {
      return {label->text(), label->textColor(), label->font()};
    }
  }
  return {};
}

}  // namespace platform
