#include "BuyViewController.h"

#include "net/ServerApi.h"
#include "ui/common/UiUtility.h"

namespace vantory {

BuyViewController::BuyViewController()
    : ItemDetailViewController({&ServerApi::getBought, "buyCell", "No one Bought as of now.",
                                ListScreenValues::Shape::sectionPerRecord, ""},
                               Reread::countersOnly,
                               {"purchase", &ServerApi::updateBuy, &ServerApi::removeBuy}) {
  action("buySelected:", [this](platform::ModelObject* sender) { buySelected(sender); });
}

void BuyViewController::placeBarButtons() {
  navigationItem().setRightBarButtonItem(refreshButton_);
}

void BuyViewController::processBoughtWithResponse(const std::optional<nlohmann::json>& reply) {
  processListResponse(reply);
}

void BuyViewController::buySelected(platform::ModelObject* /*sender*/) {
  auto self = sharedThis<BuyViewController>();
  UiUtility::showAlertWithActions(
      "Bought this Item?",
      "Proceed only if you have already bought this item online or have in your cart in the "
      "store.",
      *this, "Cancel", {}, "Proceed",
      [self](platform::AlertAction& /*action*/) { self->proceedWithUpdatingBuy(); });
}

void BuyViewController::proceedWithUpdatingBuy() { showPurchasePrompt(std::nullopt); }

void BuyViewController::showPurchasePrompt(const std::optional<std::string>& typedQuantity) {
  auto self = sharedThis<BuyViewController>();
  promptForQuantity(
      "How many did you Buy?", typedQuantity,
      [self](const std::optional<std::string>& quantity) { self->addBuyWithQuantity(quantity); });
}

void BuyViewController::addBuyWithQuantity(const std::optional<std::string>& quantity) {
  sendQuantity(
      ServerApi::addBuy, &ServerApi::purchaseRecord, quantity,
      [self = sharedThis<BuyViewController>(), quantity] { self->showPurchasePrompt(quantity); });
}

}  // namespace vantory
