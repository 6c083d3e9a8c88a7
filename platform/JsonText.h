#pragma once

#include <cstddef>
#include <exception>
#include <string>
#include <string_view>

#include <rapidjson/reader.h>

#include "Utf8.h"

namespace platform {

// The pieces of compact JSON text the app writes and the words it reads
// errors in: shared by the reader into values and the reader into text, so
// that both print a reply alike.
class JsonText {
 public:
  JsonText() = delete;

  // Reader flags: iterative (the reader's own depth never reaches the
  // stack), and a number beyond a double is refused.
  static constexpr unsigned kParseFlags =
      rapidjson::kParseIterativeFlag | rapidjson::kParseFullPrecisionFlag;

  // A string of valid UTF-8 as nlohmann writes it: quoted; '"', '\' and
  // control characters escaped (short forms where JSON has them, otherwise
  // \u00xx in lower case); every other byte as it is.
  static void appendString(std::string& out, std::string_view text);
  // A number read as a double, as nlohmann writes it.
  static void appendDouble(std::string& out, double value);
  // A parse error in the words the console has always printed.
  static std::string parseError(const rapidjson::ParseResult& result, bool tooDeep,
                                std::size_t size);

  // Reads the text into a RapidJSON handler (one with tooDeep()); false, with
  // the reason in *error (when given), for text that is not JSON, a number
  // beyond the range of a double, nesting the handler refused, invalid UTF-8,
  // or a reply too large to hold. Never throws.
  template <typename Handler>
  static bool read(std::string_view data, Handler& handler, std::string* error) {
    const auto refuse = [error](std::string reason) {
      if (error != nullptr) {
        *error = std::move(reason);
      }
      return false;
    };
    // UTF-8 is checked once over the whole text, ASCII eight bytes at a time
    // (cheaper than the reader's check of each character of each string).
    if (!Utf8::isValid(data)) {
      return refuse(
          "[json.exception.parse_error] parse error: invalid string: ill-formed UTF-8 byte");
    }
    try {
      rapidjson::Reader reader;
      rapidjson::MemoryStream bytes(data.data(), data.size());
      const rapidjson::ParseResult result = reader.Parse<kParseFlags>(bytes, handler);
      if (result.IsError()) {
        return refuse(parseError(result, handler.tooDeep(), data.size()));
      }
      return true;
    } catch (const std::exception& unexpected) {  // allocation failure on a huge reply
      return refuse(unexpected.what());
    }
  }
};

}  // namespace platform
