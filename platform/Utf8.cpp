#include "Utf8.h"

#include <cstdint>
#include <cstring>

#include <utf8.h>

namespace platform {

// Well-formedness is utfcpp's to judge (shared with the service); what is
// ours is the fast path over ASCII, the bulk of every reply.
bool Utf8::isValid(std::string_view text) {
  const char* at = text.data();
  const char* const end = text.data() + text.size();
  while (at < end) {
    // Eight ASCII bytes at once.
    if (end - at >= 8) {
      std::uint64_t word = 0;
      std::memcpy(&word, at, 8);
      if ((word & 0x8080808080808080ULL) == 0) {
        at += 8;
        continue;
      }
    }
    // Up to the next ASCII byte, which no sequence runs across.
    const char* run = at;
    while (run < end && static_cast<unsigned char>(*run) >= 0x80) {
      ++run;
    }
    if (run == at) {
      ++at;  // an ASCII byte short of a whole word
      continue;
    }
    if (!utf8::is_valid(at, run)) {
      return false;
    }
    at = run;
  }
  return true;
}

std::string Utf8::replacingInvalid(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  auto at = text.begin();
  while (at != text.end()) {
    const auto invalid = utf8::find_invalid(at, text.end());
    out.append(at, invalid);
    if (invalid == text.end()) {
      break;
    }
    out += "\xEF\xBF\xBD";  // one replacement character per byte that is not part of a character
    at = invalid + 1;
  }
  return out;
}

}  // namespace platform
