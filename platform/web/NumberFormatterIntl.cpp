// Numbers formatted in a browser: Intl.NumberFormat with the browser's CLDR
// data. ICU takes a locale's currency from its region; Intl must be told the
// currency, so the region's is looked up here.
#include <emscripten/em_js.h>
#include <emscripten/emscripten.h>
#include <emscripten/val.h>

#include <map>
#include <utility>

#include "platform/NumberFormatter.h"

// clang-format off
EM_JS(int, intlKnowsLocale, (const char* tag), {
  try {
    return Intl.NumberFormat.supportedLocalesOf(UTF8ToString(tag)).length > 0 ? 1 : 0;
  } catch (error) {
    return 0;
  }
});
// clang-format on

namespace platform {

namespace {

// "en_US" -> "en-US"; "en_US_POSIX" -> "en-US".
std::string languageTag(const std::string& localeId) {
  std::string tag = localeId.substr(0, localeId.find("_POSIX"));
  for (char& c : tag) {
    if (c == '_') {
      c = '-';
    }
  }
  return tag;
}

// The currency CLDR gives a region; "XXX" (no currency, shown as "¤") for a
// region not listed, as ICU does for one it does not know.
std::string currencyOfRegion(const std::string& region) {
  static const std::map<std::string, std::string> currencies = {
      {"US", "USD"}, {"GB", "GBP"}, {"CA", "CAD"}, {"AU", "AUD"}, {"NZ", "NZD"}, {"IE", "EUR"},
      {"DE", "EUR"}, {"AT", "EUR"}, {"FR", "EUR"}, {"BE", "EUR"}, {"NL", "EUR"}, {"LU", "EUR"},
      {"IT", "EUR"}, {"ES", "EUR"}, {"PT", "EUR"}, {"FI", "EUR"}, {"GR", "EUR"}, {"SK", "EUR"},
      {"SI", "EUR"}, {"EE", "EUR"}, {"LV", "EUR"}, {"LT", "EUR"}, {"MT", "EUR"}, {"CY", "EUR"},
      {"HR", "EUR"}, {"CH", "CHF"}, {"LI", "CHF"}, {"SE", "SEK"}, {"NO", "NOK"}, {"DK", "DKK"},
      {"IS", "ISK"}, {"PL", "PLN"}, {"CZ", "CZK"}, {"HU", "HUF"}, {"RO", "RON"}, {"BG", "BGN"},
      {"RU", "RUB"}, {"UA", "UAH"}, {"TR", "TRY"}, {"IL", "ILS"}, {"JP", "JPY"}, {"CN", "CNY"},
      {"TW", "TWD"}, {"HK", "HKD"}, {"KR", "KRW"}, {"IN", "INR"}, {"SG", "SGD"}, {"TH", "THB"},
      {"ID", "IDR"}, {"MY", "MYR"}, {"PH", "PHP"}, {"VN", "VND"}, {"BR", "BRL"}, {"MX", "MXN"},
      {"AR", "ARS"}, {"CL", "CLP"}, {"CO", "COP"}, {"PE", "PEN"}, {"ZA", "ZAR"}, {"EG", "EGP"},
      {"NG", "NGN"}, {"KE", "KES"}, {"MA", "MAD"}, {"SA", "SAR"}, {"AE", "AED"}, {"PK", "PKR"}};
  const auto found = currencies.find(region);
  return found != currencies.end() ? found->second : "XXX";
}

// A tag Intl refuses throws in the page; ICU would give no text for it.

// Building a formatter costs far more than using one, and tables format
// thousands of prices: one per locale and style, kept.
std::optional<emscripten::val> cachedFormat(const std::string& localeId,
                                            NumberFormatter::Style style) {
  static std::map<std::pair<std::string, int>, std::optional<emscripten::val>> cache;
  const auto key = std::make_pair(localeId, static_cast<int>(style));
  auto found = cache.find(key);
  if (found == cache.end() && intlKnowsLocale(languageTag(localeId).c_str()) == 0) {
    found = cache.emplace(key, std::nullopt).first;
  } else if (found == cache.end()) {
    const emscripten::val intl = emscripten::val::global("Intl");
    emscripten::val locale = intl["Locale"].new_(languageTag(localeId));
    emscripten::val options = emscripten::val::object();
    if (style == NumberFormatter::Style::currency) {
      const emscripten::val region = locale.call<emscripten::val>("maximize")["region"];
      options.set("style", std::string("currency"));
      options.set("currency", currencyOfRegion(region.isString() ? region.as<std::string>() : ""));
    }
    found = cache.emplace(key, intl["NumberFormat"].new_(locale, options)).first;
  }
  return found->second;
}

}  // namespace

std::optional<std::string> NumberFormatter::stringFromNumber(double number) const {
  const auto format = cachedFormat(currentLocaleIdentifier(), numberStyle());
  if (!format) {
    return std::nullopt;
  }
  return format->call<std::string>("format", number);
}

}  // namespace platform
