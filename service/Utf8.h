#pragma once

#include <cstddef>
#include <string_view>

namespace vantory::service {

// The service's one UTF-8 check, and counting of characters.
class Utf8 {
 public:
  Utf8() = delete;

  // Well-formed UTF-8: no overlong forms, no surrogates, nothing beyond U+10FFFF.
  static bool isValid(std::string_view text) {
    std::size_t i = 0;
    const auto at = [&text](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    while (i < text.size()) {
      const unsigned char lead = at(i);
      std::size_t length = 0;
      if (lead < 0x80) {
        length = 1;
      } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
      } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
      } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
      } else {
        return false;
      }
      if (i + length > text.size()) {
        return false;
      }
      for (std::size_t k = 1; k < length; ++k) {
        if ((at(i + k) & 0xC0) != 0x80) {
          return false;
        }
      }
      if ((lead == 0xE0 && at(i + 1) < 0xA0) || (lead == 0xED && at(i + 1) >= 0xA0) ||
          (lead == 0xF0 && at(i + 1) < 0x90) || (lead == 0xF4 && at(i + 1) >= 0x90)) {
        return false;
      }
      i += length;
    }
    return true;
  }

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
