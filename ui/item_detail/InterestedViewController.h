#pragma once

#include <memory>
#include <optional>
#include <string>

#include "ui/item_detail/ItemDetailViewController.h"

namespace vantory {

// One deal with its counters and the people interested in it; edits the
// deal, declares interest and opens its purchases.
class InterestedViewController : public ItemDetailViewController {
 public:
  InterestedViewController();

  const std::optional<RecordList>& interestedPeople() const { return list(); }
  const std::shared_ptr<platform::BarButtonItem>& editButton() const { return editButton_; }

  void editItem(platform::ModelObject* sender);
  // The edit prompt ("Add Item") holding the given texts.
  void showEditPrompt(const std::optional<std::string>& name,
                      const std::optional<std::string>& description,
                      const std::optional<std::string>& price);
  // Sends the edited deal; nothing unless name and price are filled.
  void editItemProcessedWithName(const std::optional<std::string>& name,
                                 const std::optional<std::string>& description,
                                 const std::optional<std::string>& price);
  void interestedSelected(platform::ModelObject* sender);
  // The "You Interested?" prompt, holding the quantity typed before if any.
  void showInterestPrompt(const std::optional<std::string>& typedQuantity);
  void addInterestedWithQuantity(const std::optional<std::string>& quantity);
  // Opens the purchases with the record this screen was opened on.
  void purchaseDetails(platform::ModelObject* sender);
  void processInterestedWithResponse(const std::optional<nlohmann::json>& reply);

 protected:
  void placeBarButtons() override;

 private:
  std::shared_ptr<platform::BarButtonItem> editButton_;
};

}  // namespace vantory
