// Numbers formatted on Linux: ICU with its CLDR data.
#include <unicode/locid.h>
#include <unicode/numfmt.h>
#include <unicode/unistr.h>

#include <map>
#include <memory>
#include <utility>

#include "NumberFormatter.h"

namespace platform {

namespace {

// Building an ICU formatter costs far more than using one, and tables format
// thousands of prices; each thread keeps one per locale and style (ICU
// formatters must not be shared between threads).
const icu::NumberFormat* cachedFormat(const std::string& localeId, NumberFormatter::Style style) {
  thread_local std::map<std::pair<std::string, int>, std::unique_ptr<icu::NumberFormat>> cache;
  const auto key = std::make_pair(localeId, static_cast<int>(style));
  auto found = cache.find(key);
  if (found == cache.end()) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Locale locale(localeId.c_str());
    std::unique_ptr<icu::NumberFormat> format(
        style == NumberFormatter::Style::currency
            ? icu::NumberFormat::createCurrencyInstance(locale, status)
            : icu::NumberFormat::createInstance(locale, status));
    if (U_FAILURE(status)) {
      format.reset();
    }
    found = cache.emplace(key, std::move(format)).first;
  }
  return found->second.get();
}

}  // namespace

std::optional<std::string> NumberFormatter::stringFromNumber(double number) const {
  const icu::NumberFormat* format = cachedFormat(currentLocaleIdentifier(), style_);
  if (format == nullptr) {
    return std::nullopt;
  }
  icu::UnicodeString formatted;
  format->format(number, formatted);
  if (formatted.isBogus()) {
    return std::nullopt;
  }
  std::string text;
  formatted.toUTF8String(text);
  return text;
}

}  // namespace platform
