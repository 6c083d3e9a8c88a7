#pragma once

#include <optional>
#include <string>

namespace platform {

// Formats numbers by the conventions of the current locale (CLDR data via
// ICU). The locale is the first of LC_ALL, LC_MONETARY and LANG that is set.
class NumberFormatter {
 public:
  enum class Style { decimal = 1, currency = 2 };

  NumberFormatter() = default;

  void setNumberStyle(Style style) { style_ = style; }
  Style numberStyle() const { return style_; }

  std::optional<std::string> stringFromNumber(double number) const;

  // "en_US" for LANG=en_US.UTF-8; "en_US_POSIX" for C, POSIX or nothing set.
  static std::string currentLocaleIdentifier();

 private:
  Style style_ = Style::decimal;
};

}  // namespace platform
