#pragma once

#include <optional>
#include <string>

#include "ui/item_detail/ItemDetailViewController.h"

namespace vantory {

// One deal with its counters and the people who bought it; records a
// purchase after a confirmation.
class BuyViewController : public ItemDetailViewController {
 public:
  BuyViewController();

  const std::optional<RecordList>& boughtPeople() const { return list(); }

  void buySelected(platform::ModelObject* sender);
  void proceedWithUpdatingBuy();
  // The "How many did you Buy?" prompt, holding the quantity typed before.
  void showPurchasePrompt(const std::optional<std::string>& typedQuantity);
  void addBuyWithQuantity(const std::optional<std::string>& quantity);
  void processBoughtWithResponse(const std::optional<nlohmann::json>& reply);

 protected:
  void placeBarButtons() override;
};

}  // namespace vantory
