#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace platform {

// Reads JSON text from a peer into nlohmann values (parsed by RapidJSON's
// reader, which is several times faster on long lists). Whatever the bytes,
// it answers a value or the parser's message and never throws: text that is
// not JSON, a number beyond the range of a double, nesting deeper than
// kMaxDepth and invalid UTF-8 are all refused alike. Any top-level value is
// accepted (fragments allowed).
class JsonSerialization {
 public:
  // Deep enough for any record; shallow enough that copying, comparing and
  // printing a value (all recursive) stay far from the end of a thread's stack.
  static constexpr std::size_t kMaxDepth = 512;

  JsonSerialization() = delete;

  // The value, or nothing with the reason in *error (when error is given).
  static std::optional<nlohmann::json> jsonObjectWithData(std::string_view data,
                                                          std::string* error = nullptr);

  // Compact JSON text of a value (as nlohmann writes it, several times
  // faster on long lists); text that is not valid UTF-8 is written with
  // U+FFFD in place of the bad bytes.
  static std::string dataWithJSONObject(const nlohmann::json& value);
};

}  // namespace platform
