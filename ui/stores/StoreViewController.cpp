#include "StoreViewController.h"

#include "net/RecordKeys.h"
#include "net/ServerApi.h"
#include "ui/common/Prompt.h"
#include "ui/common/RecordText.h"
#include "ui/common/StringUtil.h"
#include "ui/common/UiUtility.h"
#include "ui/common/Utility.h"
#include "ui/search/SearchViewController.h"

namespace vantory {

StoreViewController::StoreViewController()
    : ListViewController({&ServerApi::getListOfStores, "storeCell", "You Dont have any Stores.",
                          ListScreenValues::Shape::oneSection, "itemView"}) {
  action("addStore:", [this](platform::ModelObject* sender) { addStore(sender); });
  action("searchSelected:", [this](platform::ModelObject* sender) { searchSelected(sender); });
  action("refresh:", [this](platform::ModelObject* sender) { refresh(sender); });
}

void StoreViewController::refresh(platform::ModelObject* /*sender*/) { refresh(); }

void StoreViewController::processStoresWithResponse(const std::optional<nlohmann::json>& reply) {
  processListResponse(reply);
}

bool StoreViewController::isConcernedBy(const Change& change) const {
  return change.isAbout("store");
}

std::optional<std::string> StoreViewController::listParameter() {
  return ServerApi::parameterText(ServerApi::getListOfStores, "");
}

void StoreViewController::fillCell(platform::TableViewCell& cell, const nlohmann::json& record) {
  if (platform::Label* label = cell.textLabel()) {
    label->setText(RecordText::text(record, key::name));
  }
}

void StoreViewController::addStore(platform::ModelObject* /*sender*/) {
  showAddStorePrompt(std::nullopt);
}

void StoreViewController::showAddStorePrompt(const std::optional<std::string>& typedName) {
  auto self = sharedThis<StoreViewController>();
  Prompt::show(*this, "Add Store", {{"Store Name", typedName}}, "Save", [self](const auto& texts) {
    const std::optional<std::string>& name = texts.at(0);
    if (!StringUtil::isNotBlank(name)) {
      UiUtility::showAlert("Alert", "Name can't be Empty", *self);
    }
    self->addStoreNameWithStore(name);
  });
}

void StoreViewController::addStoreNameWithStore(const std::optional<std::string>& name) {
  if (!StringUtil::isNotBlank(name)) {
    return;
  }
  const std::optional<std::string> userName = Utility::storedUserName();
  if (!userName) {
    return;  // no one to post the store under
  }
  sendRecord(ServerApi::addStore, ServerApi::newStoreRecord(*name, *userName), false,
             [self = sharedThis<StoreViewController>(), name] { self->showAddStorePrompt(name); });
}

void StoreViewController::searchSelected(platform::ModelObject* /*sender*/) {
  auto self = sharedThis<StoreViewController>();
  Prompt::show(*this, "Search", {{"Search Text"}}, "Search", [self](const auto& texts) {
    const std::optional<std::string>& text = texts.at(0);
    if (!StringUtil::isNotBlank(text)) {
      UiUtility::showAlert("Alert", "Search Text can't be empty", *self);
      return;
    }
    self->navigator().open("searchView", [&text](platform::ViewController& next) {
      if (auto* search = dynamic_cast<SearchViewController*>(&next)) {
        search->setSearchString(*text);
      }
    });
  });
}

}  // namespace vantory
