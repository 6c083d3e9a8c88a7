#pragma once

#include <string>
#include <string_view>

namespace platform {

// The app's one UTF-8 check (the service has its own: they share no code).
class Utf8 {
 public:
  Utf8() = delete;

  // Well-formed UTF-8: no overlong forms, no surrogates, nothing beyond
  // U+10FFFF. Runs of ASCII are checked eight bytes at a time.
  static bool isValid(std::string_view text);
  // The text with every byte that is not part of valid UTF-8 replaced by
  // U+FFFD.
  static std::string replacingInvalid(std::string_view text);
};

}  // namespace platform
