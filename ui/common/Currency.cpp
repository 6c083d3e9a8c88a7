#include "Currency.h"

#include <locale.h>

#include <cstdlib>

#include "platform/NumberFormatter.h"

namespace vantory {

namespace {
locale_t cLocale() {
  static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return locale;
}
}  // namespace

std::optional<double> Currency::readPrice(const std::string& price) {
  if (price.empty()) {
    return std::nullopt;
  }
  for (const char c : price) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x80 || c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r' ||
        c == '\0') {
      return std::nullopt;
    }
  }
  char* end = nullptr;
  const double value = strtod_l(price.c_str(), &end, cLocale());
  if (end != price.c_str() + price.size()) {
    return std::nullopt;
  }
  return value;
}

void Currency::prepare() {
  static const bool prepared = formatPrice("0").has_value();
  (void)prepared;
}

std::optional<std::string> Currency::formatPrice(const std::string& price) {
  const std::optional<double> value = readPrice(price);
  if (!value) {
    return std::nullopt;
  }
  platform::NumberFormatter formatter;
  formatter.setNumberStyle(platform::NumberFormatter::Style::currency);
  return formatter.stringFromNumber(*value);
}

}  // namespace vantory
