#include "TableView.h"

#include <algorithm>
#include <stdexcept>

namespace platform {

void TableView::registerPrototype(const std::string& identifier, CellPrototype prototype) {
  prototypes_[identifier] = std::move(prototype);
}

std::shared_ptr<TableViewCell> TableView::dequeueReusableCellWithIdentifier(
    const std::string& identifier, IndexPath /*indexPath*/) {
  const auto found = prototypes_.find(identifier);
  if (found == prototypes_.end()) {
    throw std::logic_error("the layout has no cell prototype \"" + identifier + "\"");
  }
  return std::make_shared<TableViewCell>(identifier, found->second);
}

void TableView::setBackgroundView(std::shared_ptr<View> view) {
  backgroundView_ = std::move(view);
  notifyChanged();
}

void TableView::loadCounts() {
  loaded_ = true;
  rowCounts_.clear();
  if (dataSource_ == nullptr) {
    return;
  }
  const int sections = dataSource_->numberOfSectionsInTableView(*this);
  for (int section = 0; section < sections; ++section) {
    rowCounts_.push_back(std::max(0, dataSource_->numberOfRowsInSection(*this, section)));
  }
}

void TableView::reloadData() {
  ++reloadCount_;
  loadCounts();
  notifyChanged();
}

void TableView::layoutIfNeeded() {
  if (!loaded_) {
    loadCounts();
    notifyChanged();
  }
}

int TableView::numberOfSections() {
  layoutIfNeeded();
  return static_cast<int>(rowCounts_.size());
}

int TableView::numberOfRowsInSection(int section) {
  layoutIfNeeded();
  if (section < 0 || section >= static_cast<int>(rowCounts_.size())) {
    return 0;
  }
  return rowCounts_[static_cast<std::size_t>(section)];
}

std::shared_ptr<TableViewCell> TableView::cellForRowAtIndexPath(IndexPath indexPath) {
  if (dataSource_ == nullptr || indexPath.row < 0 ||
      indexPath.row >= numberOfRowsInSection(indexPath.section)) {
    return nullptr;
  }
  return dataSource_->cellForRowAtIndexPath(*this, indexPath);
}

std::shared_ptr<View> TableView::headerViewForSection(int section) {
  if (delegate_ == nullptr || section < 0 || section >= numberOfSections()) {
    return nullptr;
  }
  return delegate_->viewForHeaderInSection(*this, section);
}

double TableView::headerHeightForSection(int section) {
  if (delegate_ == nullptr || section < 0 || section >= numberOfSections()) {
    return -1;
  }
  return delegate_->heightForHeaderInSection(*this, section);
}

void TableView::selectRowAtIndexPath(IndexPath indexPath) {
  if (delegate_ != nullptr && hasRow(indexPath)) {
    delegate_->didSelectRowAtIndexPath(*this, indexPath);
  }
}

bool TableView::canDeleteRowAtIndexPath(IndexPath indexPath) {
  return delegate_ != nullptr && hasRow(indexPath) &&
         delegate_->canDeleteRowAtIndexPath(*this, indexPath);
}

void TableView::deleteRowAtIndexPath(IndexPath indexPath) {
  if (canDeleteRowAtIndexPath(indexPath)) {
    delegate_->deleteRowAtIndexPath(*this, indexPath);
  }
}

bool TableView::hasRow(IndexPath indexPath) {
  return indexPath.row >= 0 && indexPath.row < numberOfRowsInSection(indexPath.section);
}

}  // namespace platform
