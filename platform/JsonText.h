#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include <rapidjson/reader.h>

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
};

}  // namespace platform
