#include "InterestedViewController.h"

#include "net/ServerApi.h"
#include "ui/common/DealForm.h"
#include "ui/common/Prompt.h"
#include "ui/common/StringUtil.h"

namespace vantory {

InterestedViewController::InterestedViewController()
    : ItemDetailViewController(
          {&ServerApi::getInterested, "interestedCell", "No one is Interested as of now.",
           ListScreenValues::Shape::sectionPerRecord, ""},
          Reread::itemAndCounters) {
  outlet("editButton", editButton_);
  action("editItem:", [this](platform::ModelObject* sender) { editItem(sender); });
  action("interestedSelected:",
         [this](platform::ModelObject* sender) { interestedSelected(sender); });
  action("purchaseDetails:", [this](platform::ModelObject* sender) { purchaseDetails(sender); });
}

void InterestedViewController::placeBarButtons() {
  platform::NavigationItem::Items buttons;
  for (const auto& button : {editButton_, refreshButton_}) {
    if (button) {
      buttons.push_back(button);
    }
  }
  navigationItem().setRightBarButtonItems(std::move(buttons), false);
}

void InterestedViewController::processInterestedWithResponse(
    const std::optional<nlohmann::json>& reply) {
  processListResponse(reply);
}

void InterestedViewController::editItem(platform::ModelObject* /*sender*/) {
  auto self = sharedThis<InterestedViewController>();
  Prompt::show(*this, "Add Item", DealForm::fields(item().value_or(nlohmann::json::object())),
               "Save", [self](const auto& texts) {
                 DealForm::alertBlanks(*self, texts);
                 self->editItemProcessedWithName(texts.at(0), texts.at(1), texts.at(2));
               });
}

void InterestedViewController::editItemProcessedWithName(
    const std::optional<std::string>& name, const std::optional<std::string>& description,
    const std::optional<std::string>& price) {
  if (!StringUtil::isNotBlank(name) || !StringUtil::isNotBlank(price)) {
    return;
  }
  const auto id = itemId();
  if (!id) {
    return;
  }
  sendRecord(ServerApi::editItem,
             ServerApi::itemEditRecord(*id, *name, description.value_or(""), *price), true);
}

void InterestedViewController::interestedSelected(platform::ModelObject* /*sender*/) {
  auto self = sharedThis<InterestedViewController>();
  promptForQuantity("You Interested?", [self](const std::optional<std::string>& quantity) {
    self->addInterestedWithQuantity(quantity);
  });
}

void InterestedViewController::addInterestedWithQuantity(
    const std::optional<std::string>& quantity) {
  sendQuantity(ServerApi::addInterested, &ServerApi::interestRecord, quantity);
}

void InterestedViewController::purchaseDetails(platform::ModelObject* /*sender*/) {
  const auto info = itemInfo();
  if (!info) {
    return;
  }
  openScreenWithRecord("buyView", *info);
}

}  // namespace vantory
