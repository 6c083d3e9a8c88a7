#pragma once

#include <cstddef>
#include <string_view>

namespace vantory::service {

// The number of characters (code points) in UTF-8 text.
inline std::size_t characterCount(std::string_view text) {
  std::size_t count = 0;
  for (const char c : text) {
    count += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
  }
  return count;
}

}  // namespace vantory::service
