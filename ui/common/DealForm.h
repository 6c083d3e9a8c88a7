#pragma once

#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/toolkit/ViewController.h"
#include "ui/common/Prompt.h"

namespace vantory {

// The deal prompt shared by adding and editing a deal ("Add Item"): name,
// description and price, of which name and price must be filled.
class DealForm {
 public:
  DealForm() = delete;

  // The three fields, starting from the deal's texts when one is given.
  static std::vector<PromptField> fields(const std::optional<nlohmann::json>& deal);
  // "Name can't be Empty", then "Price can't be Empty", for each that is blank.
  static void alertBlanks(platform::ViewController& screen,
                          const std::vector<std::optional<std::string>>& texts);
};

}  // namespace vantory
