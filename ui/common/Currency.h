#pragma once

#include <optional>
#include <string>

namespace vantory {

class Currency {
 public:
  Currency() = delete;

  // The price text in the currency format of the current locale ("$19.50"
  // for "19.5" under en_US), or nothing when the text is not a plain number
  // (read as strtod does in the C locale, the whole text, ASCII only, no
  // white space anywhere).
  static std::optional<std::string> formatPrice(const std::string& price);

  // Formats one price, once. A browser loads its number data on the first
  // price it formats (20 to 30 ms): a screen about to show prices has that
  // done while its list is on its way rather than in the turn that draws it.
  static void prepare();

  // The number a price text holds, by the rule above.
  static std::optional<double> readPrice(const std::string& price);
};

}  // namespace vantory
