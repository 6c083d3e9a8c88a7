#pragma once

#include <nlohmann/json.hpp>

#include "platform/toolkit/TableViewCell.h"

namespace vantory {

// The row of one deal ("itemCell"), shared by the item list and the search
// results: name (tag 1), description (tag 2) and price in the local
// currency (tag 3). A value that is missing or malformed leaves its label empty.
class ItemCellContent {
 public:
  ItemCellContent() = delete;
  static void fill(platform::TableViewCell& cell, const nlohmann::json& item);
  // Readies the price format in a later turn of the main queue: for a screen
  // that has just asked for its deals.
  static void prepare();
};

}  // namespace vantory
