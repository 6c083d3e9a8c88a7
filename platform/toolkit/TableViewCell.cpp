#include "TableViewCell.h"

namespace platform {

TableViewCell::TableViewCell(std::string reuseIdentifier, const CellPrototype& prototype)
    : reuseIdentifier_(std::move(reuseIdentifier)) {
  if (prototype.style != CellPrototype::Style::custom) {
    textLabel_ = std::make_shared<Label>();
    addSubview(textLabel_);
  }
  if (prototype.style == CellPrototype::Style::rightDetail) {
    detailTextLabel_ = std::make_shared<Label>();
    addSubview(detailTextLabel_);
  }
  for (const int tag : prototype.labelTags) {
    auto label = std::make_shared<Label>();
    label->setTag(tag);
    addSubview(label);
  }
}

void TableViewCell::setTintColor(std::optional<Color> color) {
  tintColor_ = std::move(color);
  notifyChanged();
}

}  // namespace platform
