#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/toolkit/ViewController.h"
#include "ui/common/Prompt.h"

namespace vantory {

// The deal prompt shared by adding and editing a deal ("Add Item"): name,
// description and price, of which name and price must be filled.
class DealForm {
 public:
  DealForm() = delete;

  // The three fields, holding the given texts (absent: an empty field).
  static std::vector<PromptField> fields(const std::optional<std::string>& name,
                                         const std::optional<std::string>& description,
                                         const std::optional<std::string>& price);
  // "Name can't be Empty", then "Price can't be Empty", for each that is blank.
  static void alertBlanks(platform::ViewController& screen,
                          const std::vector<std::optional<std::string>>& texts);
};

}  // namespace vantory
