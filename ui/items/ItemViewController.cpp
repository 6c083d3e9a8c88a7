#include "ItemViewController.h"

#include "net/RecordKeys.h"
#include "net/ServerApi.h"
#include "ui/common/DealForm.h"
#include "ui/common/Prompt.h"
#include "ui/common/RecordText.h"
#include "ui/common/StringUtil.h"
#include "ui/common/Utility.h"
#include "ui/items/ItemCellContent.h"

namespace vantory {

ItemViewController::ItemViewController()
    : ListViewController({&ServerApi::getListOfItems, "itemCell", "You Dont have any Items.",
                          ListScreenValues::Shape::sectionPerRecord, "interestedView"}) {
  outlet("addButton", addButton_);
  outlet("refreshButton", refreshButton_);
  outlet("createdLabel", createdLabel_);
  action("addItemSelected:", [this](platform::ModelObject* sender) { addItemSelected(sender); });
  action("refreshSelected:", [this](platform::ModelObject* sender) { refreshSelected(sender); });
}

void ItemViewController::setUpScreen() {
  store_ = storeInfo_ ? Utility::convertToDictionary(*storeInfo_) : std::nullopt;
  if (store_) {
    navigationItem().setTitle(RecordText::text(*store_, key::name));
    const auto createdBy = RecordText::text(*store_, key::createdBy);
    if (createdLabel_ != nullptr && createdBy) {
      createdLabel_->setText("Store added by " + *createdBy);
    }
  }
  placeBarButtons();
}

void ItemViewController::listShown() { placeBarButtons(); }

void ItemViewController::placeBarButtons() {
  // The person who created the store may remove it once it has no deals
  // (the service would refuse before).
  const auto userName = Utility::storedUserName();
  const auto storeId = store_ ? RecordText::text(*store_, key::id) : std::nullopt;
  const bool removable = store_ && userName && storeId &&
                         RecordText::text(*store_, key::createdBy) == userName && list() &&
                         list()->empty();
  if (removable && !removeButton_) {
    removeButton_ = std::make_shared<platform::BarButtonItem>("Delete");
    std::weak_ptr<ItemViewController> weak = sharedThis<ItemViewController>();
    removeButton_->setAction([weak, storeId = *storeId, userName = *userName](auto&) {
      if (const auto self = weak.lock()) {
        self->confirmRemoval("Delete Store", "Remove this store for everyone?",
                             ServerApi::removeStore,
                             {{key::storeId, storeId}, {key::name, userName}});
      }
    });
  } else if (!removable) {
    removeButton_.reset();
  }
  platform::NavigationItem::Items buttons;
  for (const auto& button : {addButton_, refreshButton_, removeButton_}) {
    if (button) {
      buttons.push_back(button);
    }
  }
  if (buttons != navigationItem().rightBarButtonItems()) {
    navigationItem().setRightBarButtonItems(std::move(buttons), true);
  }
}

void ItemViewController::refreshSelected(platform::ModelObject* /*sender*/) { refresh(); }

void ItemViewController::processItemsWithResponse(const std::optional<nlohmann::json>& reply) {
  processListResponse(reply);
}

bool ItemViewController::isConcernedBy(const Change& change) const {
  // The deals of this store.
  return change.isAbout("deal") && store_ && RecordText::text(*store_, key::id) == change.storeId;
}

std::optional<std::string> ItemViewController::listParameter() {
  const auto storeId = store_ ? RecordText::text(*store_, key::id) : std::nullopt;
  if (!storeId) {
    return std::nullopt;
  }
  return ServerApi::parameterText(ServerApi::getListOfItems, *storeId);
}

void ItemViewController::listRequested() { ItemCellContent::prepare(); }

void ItemViewController::fillCell(platform::TableViewCell& cell, const nlohmann::json& record) {
  ItemCellContent::fill(cell, record);
}

void ItemViewController::addItemSelected(platform::ModelObject* /*sender*/) {
  showAddItemPrompt(std::nullopt, std::nullopt, std::nullopt);
}

void ItemViewController::showAddItemPrompt(const std::optional<std::string>& name,
                                           const std::optional<std::string>& description,
                                           const std::optional<std::string>& price) {
  auto self = sharedThis<ItemViewController>();
  Prompt::show(*this, "Add Item", DealForm::fields(name, description, price), "Save",
               [self](const auto& texts) {
                 DealForm::alertBlanks(*self, texts);
                 self->addItemWithName(texts.at(0), texts.at(1), texts.at(2));
               });
}

void ItemViewController::addItemWithName(const std::optional<std::string>& name,
                                         const std::optional<std::string>& description,
                                         const std::optional<std::string>& price) {
  if (!StringUtil::isNotBlank(name) || !StringUtil::isNotBlank(price)) {
    return;
  }
  const auto storeId = store_ ? RecordText::text(*store_, key::id) : std::nullopt;
  const std::optional<std::string> userName = Utility::storedUserName();
  if (!storeId || !userName) {
    return;  // no store to post to, or no one to post it under
  }
  sendRecord(ServerApi::addItem,
             ServerApi::newItemRecord(*storeId, *name, description.value_or(""), *price, *userName),
             false, [self = sharedThis<ItemViewController>(), name, description, price] {
               self->showAddItemPrompt(name, description, price);
             });
}

}  // namespace vantory
