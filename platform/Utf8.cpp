#include "Utf8.h"

#include <cstdint>
#include <cstring>

namespace platform {

namespace {

// The length of the valid sequence at `at`, or 0.
std::size_t sequenceAt(std::string_view text, std::size_t at) {
  const auto byte = [&text](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(at);
  std::size_t length = 0;
  if (lead < 0x80) {
    return 1;
  }
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
  } else {
    return 0;
  }
  if (at + length > text.size()) {
    return 0;
  }
  for (std::size_t k = 1; k < length; ++k) {
    if ((byte(at + k) & 0xC0) != 0x80) {
      return 0;
    }
  }
  const unsigned char second = byte(at + 1);
  if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second >= 0xA0) ||
      (lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second >= 0x90)) {
    return 0;
  }
  return length;
}

}  // namespace

bool Utf8::isValid(std::string_view text) {
  std::size_t at = 0;
  while (at < text.size()) {
    // Eight ASCII bytes at once.
    if (at + 8 <= text.size()) {
      std::uint64_t word = 0;
      std::memcpy(&word, text.data() + at, 8);
      if ((word & 0x8080808080808080ULL) == 0) {
        at += 8;
        continue;
      }
    }
    const std::size_t length = sequenceAt(text, at);
    if (length == 0) {
      return false;
    }
    at += length;
  }
  return true;
}

std::string Utf8::replacingInvalid(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t length = sequenceAt(text, at);
    if (length == 0) {
      out += "\xEF\xBF\xBD";
      ++at;
    } else {
      out.append(text, at, length);
      at += length;
    }
  }
  return out;
}

}  // namespace platform
