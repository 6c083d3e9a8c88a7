#include "SearchViewController.h"

#include "net/RecordKeys.h"
#include "net/ServerApi.h"
#include "platform/toolkit/Label.h"
#include "ui/common/RecordText.h"
#include "ui/common/Utility.h"
#include "ui/items/ItemCellContent.h"

namespace vantory {

namespace {
constexpr double kHeaderHeight = 25.0;
}

SearchViewController::SearchViewController()
    : ListViewController({&ServerApi::searchItem, "itemCell", "No results found.",
                          ListScreenValues::Shape::grouped, "interestedView"}) {}

void SearchViewController::setUpScreen() { navigationItem().setTitle("Search Results"); }

void SearchViewController::processItemsWithResponse(const std::optional<nlohmann::json>& reply) {
  processListResponse(reply);
}

bool SearchViewController::isConcernedBy(const Change& change) const {
  return change.isAbout("deal");
}

std::optional<std::string> SearchViewController::listParameter() {
  if (!searchString_) {
    return std::nullopt;
  }
  const auto record = Utility::convertToJsonString(ServerApi::searchRecord(*searchString_));
  if (!record) {
    return std::nullopt;
  }
  return ServerApi::parameterText(ServerApi::searchItem, *record);
}

std::optional<RecordList> SearchViewController::pickList(std::optional<RecordList> results) {
  // No results array reads as no results.
  return results ? results->groupedBy(key::storeName) : RecordList();
}

void SearchViewController::listRequested() { ItemCellContent::prepare(); }

void SearchViewController::fillCell(platform::TableViewCell& cell, const nlohmann::json& record) {
  ItemCellContent::fill(cell, record);
}

std::shared_ptr<platform::View> SearchViewController::viewForHeaderInSection(
    platform::TableView& tableView, int section) {
  const std::optional<nlohmann::json> first = recordAt({section, 0});
  const platform::Rect frame{0, 0, tableView.frame().width, kHeaderHeight};
  auto header = std::make_shared<platform::View>(frame);
  auto label = std::make_shared<platform::Label>(frame);
  label->setText(first ? RecordText::text(*first, key::storeName) : std::nullopt);
  label->setFont(platform::Font::boldSystemFontOfSize(20));
  label->setTextColor(platform::Color::rgba(131.0 / 255.0, 0.0, 0.0, 1.0));
  header->addSubview(label);
  return header;
}

double SearchViewController::heightForHeaderInSection(platform::TableView& /*tableView*/,
                                                      int /*section*/) {
  return kHeaderHeight;
}

}  // namespace vantory
