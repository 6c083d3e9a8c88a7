#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/toolkit/BarButtonItem.h"
#include "platform/toolkit/Label.h"
#include "ui/common/ListViewController.h"
#include "ui/common/RecordReceiver.h"

namespace vantory {

// The deals of one store: titled with the store's name, one section per
// deal with its name, description and price; adds a deal and refreshes.
class ItemViewController : public ListViewController, public RecordReceiver {
 public:
  ItemViewController();

  const std::optional<std::string>& storeInfo() const { return storeInfo_; }
  void setStoreInfo(std::string storeInfo) { storeInfo_ = std::move(storeInfo); }
  void receiveRecordInfo(const std::string& recordInfo) override { setStoreInfo(recordInfo); }
  const std::optional<nlohmann::json>& store() const { return store_; }
  const std::optional<RecordList>& items() const { return list(); }

  void addItemSelected(platform::ModelObject* sender);
  // The "Add Item" prompt, holding what was typed before when there was.
  void showAddItemPrompt(const std::optional<std::string>& name,
                         const std::optional<std::string>& description,
                         const std::optional<std::string>& price);
  // Sends a new deal for this store; nothing unless name and price are filled.
  void addItemWithName(const std::optional<std::string>& name,
                       const std::optional<std::string>& description,
                       const std::optional<std::string>& price);
  void refreshSelected(platform::ModelObject* sender);
  void processItemsWithResponse(const std::optional<nlohmann::json>& reply);

  const std::shared_ptr<platform::BarButtonItem>& addButton() const { return addButton_; }
  const std::shared_ptr<platform::BarButtonItem>& refreshButton() const { return refreshButton_; }
  platform::Label* createdLabel() const { return createdLabel_; }

 protected:
  void setUpScreen() override;
  std::optional<std::string> listParameter() override;
  bool isConcernedBy(const Change& change) const override;
  void listRequested() override;
  void fillCell(platform::TableViewCell& cell, const nlohmann::json& record) override;
  void listShown() override;

 private:
  // Add and Refresh, and Delete for the store's creator while it has no deals.
  void placeBarButtons();

  std::optional<std::string> storeInfo_;
  std::optional<nlohmann::json> store_;
  std::shared_ptr<platform::BarButtonItem> addButton_;
  std::shared_ptr<platform::BarButtonItem> refreshButton_;
  std::shared_ptr<platform::BarButtonItem> removeButton_;  // for the store's creator
  platform::Label* createdLabel_ = nullptr;
};

}  // namespace vantory
