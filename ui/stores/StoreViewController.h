#pragma once

#include <optional>
#include <string>

#include "ui/common/ListViewController.h"

namespace vantory {

// The root of the navigation stack: every store, in the service's order. A
// row opens the store's deals; its buttons add a store, search and refresh.
class StoreViewController : public ListViewController {
 public:
  StoreViewController();

  const std::optional<RecordList>& stores() const { return list(); }

  void addStore(platform::ModelObject* sender);
  // The "Add Store" prompt, holding the name typed before when there is one.
  void showAddStorePrompt(const std::optional<std::string>& typedName);
  void searchSelected(platform::ModelObject* sender);
  // Sends a new store under the stored user name; a blank name sends nothing.
  void addStoreNameWithStore(const std::optional<std::string>& name);
  using ListViewController::refresh;
  void refresh(platform::ModelObject* sender);
  void processStoresWithResponse(const std::optional<nlohmann::json>& reply);

 protected:
  std::optional<std::string> listParameter() override;
  bool isConcernedBy(const Change& change) const override;
  void fillCell(platform::TableViewCell& cell, const nlohmann::json& record) override;
};

}  // namespace vantory
