#include "InterestedViewController.h"

#include "net/RecordKeys.h"
#include "net/ServerApi.h"
#include "ui/common/DealForm.h"
#include "ui/common/Prompt.h"
#include "ui/common/RecordText.h"
#include "ui/common/StringUtil.h"
#include "ui/common/Utility.h"

namespace vantory {

InterestedViewController::InterestedViewController()
    : ItemDetailViewController(
          {&ServerApi::getInterested, "interestedCell", "No one is Interested as of now.",
           ListScreenValues::Shape::sectionPerRecord, ""},
          Reread::itemAndCounters,
          {"interest", &ServerApi::updateInterested, &ServerApi::removeInterested}) {
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
  // The deal's texts as last read; a missing one starts empty.
  const nlohmann::json deal = item().value_or(nlohmann::json::object());
  const auto text = [&deal](const char* key) { return RecordText::text(deal, key).value_or(""); };
  showEditPrompt(text(key::name), text(key::description), text(key::price));
}

void InterestedViewController::showEditPrompt(const std::optional<std::string>& name,
                                              const std::optional<std::string>& description,
                                              const std::optional<std::string>& price) {
  auto self = sharedThis<InterestedViewController>();
  // The person who posted the deal may also remove it from here.
  std::optional<Prompt::OtherAction> remove;
  const auto userName = Utility::storedUserName();
  const auto id = itemId();
  if (item() && userName && id && RecordText::text(*item(), key::postedBy) == userName) {
    remove = Prompt::OtherAction{
        "Delete", [self, id = *id, userName = *userName] {
          self->confirmRemoval("Delete Deal", "Remove this deal for everyone?",
                               ServerApi::removeItem, {{key::itemId, id}, {key::name, userName}});
        }};
  }
  Prompt::show(
      *this, "Add Item", DealForm::fields(name, description, price), "Save",
      [self](const auto& texts) {
        DealForm::alertBlanks(*self, texts);
        self->editItemProcessedWithName(texts.at(0), texts.at(1), texts.at(2));
      },
      std::move(remove));
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
             ServerApi::itemEditRecord(*id, *name, description.value_or(""), *price), true,
             [self = sharedThis<InterestedViewController>(), name, description, price] {
               self->showEditPrompt(name, description, price);
             });
}

void InterestedViewController::interestedSelected(platform::ModelObject* /*sender*/) {
  showInterestPrompt(std::nullopt);
}

void InterestedViewController::showInterestPrompt(const std::optional<std::string>& typedQuantity) {
  auto self = sharedThis<InterestedViewController>();
  promptForQuantity("You Interested?", typedQuantity,
                    [self](const std::optional<std::string>& quantity) {
                      self->addInterestedWithQuantity(quantity);
                    });
}

void InterestedViewController::addInterestedWithQuantity(
    const std::optional<std::string>& quantity) {
  sendQuantity(ServerApi::addInterested, &ServerApi::interestRecord, quantity,
               [self = sharedThis<InterestedViewController>(), quantity] {
                 self->showInterestPrompt(quantity);
               });
}

void InterestedViewController::purchaseDetails(platform::ModelObject* /*sender*/) {
  const auto info = itemInfo();
  if (!info) {
    return;
  }
  navigator().openWithRecord("buyView", *info);
}

}  // namespace vantory
