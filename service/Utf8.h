#pragma once

#include <cstddef>
#include <string_view>

#include <utf8.h>

namespace vantory::service {

// The service's one UTF-8 check, and counting of characters.
class Utf8 {
 public:
  Utf8() = delete;

  // Well-formed UTF-8: no overlong forms, no surrogates, nothing beyond U+10FFFF.
  static bool isValid(std::string_view text) { return utf8::is_valid(text.begin(), text.end()); }

  // The number of characters (code points) in valid UTF-8 text.
  static std::size_t characterCount(std::string_view text) {
    std::size_t count = 0;
    for (const char c : text) {
      count += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
    }
    return count;
  }

  // NUL or another C0 control character other than tab and newline: text a
  // person cannot have typed, and that some storage and search engines
  // mishandle.
  static bool hasControlCharacter(std::string_view text) {
    for (const char c : text) {
      if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n') {
        return true;
      }
    }
    return false;
  }
};

}  // namespace vantory::service
