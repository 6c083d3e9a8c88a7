#include "SearchViewController.h"

#include <unordered_map>

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

nlohmann::json SearchViewController::groupByStore(const nlohmann::json& results) {
  nlohmann::json groups = nlohmann::json::array();
  std::unordered_map<std::string, std::size_t> groupOfStore;
  for (const auto& record : results) {
    const auto storeName = RecordText::text(record, key::storeName);
    if (!storeName) {
      continue;
    }
    const auto [found, isNew] = groupOfStore.try_emplace(*storeName, groups.size());
    if (isNew) {
      groups.push_back(nlohmann::json::array());
    }
    groups[found->second].push_back(record);
  }
  return groups;
}

std::optional<nlohmann::json> SearchViewController::pickList(std::optional<nlohmann::json> reply) {
  std::optional<nlohmann::json> results = ListViewController::pickList(std::move(reply));
  if (!results) {
    // No results array reads as no results.
    return nlohmann::json::array();
  }
  return groupByStore(*results);
}

void SearchViewController::fillCell(platform::TableViewCell& cell, const nlohmann::json& record) {
  ItemCellContent::fill(cell, record);
}

std::shared_ptr<platform::View> SearchViewController::viewForHeaderInSection(
    platform::TableView& tableView, int section) {
  const nlohmann::json* first = recordAt({section, 0});
  const platform::Rect frame{0, 0, tableView.frame().width, kHeaderHeight};
  auto header = std::make_shared<platform::View>(frame);
  auto label = std::make_shared<platform::Label>(frame);
  label->setText(first != nullptr ? RecordText::text(*first, key::storeName) : std::nullopt);
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
