#pragma once

#include <optional>
#include <string>

#include "ui/common/ListViewController.h"

namespace vantory {

// The deals matching a search text, one section per store headed by the
// store's name; a row opens the deal.
class SearchViewController : public ListViewController {
 public:
  SearchViewController();

  const std::optional<std::string>& searchString() const { return searchString_; }
  void setSearchString(std::string searchString) { searchString_ = std::move(searchString); }
  // The results of the last reply, a group for each store.
  const std::optional<RecordList>& items() const { return list(); }

  void processItemsWithResponse(const std::optional<nlohmann::json>& reply);

  std::shared_ptr<platform::View> viewForHeaderInSection(platform::TableView& tableView,
                                                         int section) override;
  double heightForHeaderInSection(platform::TableView& tableView, int section) override;

 protected:
  void setUpScreen() override;
  std::optional<std::string> listParameter() override;
  bool isConcernedBy(const Change& change) const override;
  void listRequested() override;
  // Groups the results by exact store name, in the order each store first
  // appears; records keep the reply's order within their group. Elements
  // that are not records, or lack a text store name, are left out.
  std::optional<RecordList> pickList(std::optional<RecordList> results) override;
  void fillCell(platform::TableViewCell& cell, const nlohmann::json& record) override;

 private:
  std::optional<std::string> searchString_;
};

}  // namespace vantory
