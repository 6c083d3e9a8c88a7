#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Reads JSON text from a peer into compact JSON text, without building a
// value per element: a list of 100,000 records costs its text and a few
// bytes a record. The text is what JsonSerialization::dataWithJSONObject
// writes of the value jsonObjectWithData reads from the same bytes (keys in
// order, a repeated key keeping its last value), and the same bytes are
// refused with the same reason.
class JsonCompactReader {
 public:
  // Where one element lies in the text.
  struct Span {
    std::size_t offset = 0;
    std::size_t length = 0;
  };
  struct Result {
    std::string text;
    bool isObject = false;
    // When the top-level value is an object holding an array under the list
    // key: that array's elements, in order.
    std::optional<std::vector<Span>> elements;
  };

  JsonCompactReader() = delete;

  // The compact text, or nothing with the reason in *error (when given).
  static std::optional<Result> read(std::string_view data, std::string_view listKey,
                                    std::string* error = nullptr);

  // The text under key of an object as read above; nothing when the text is
  // not an object or the value there is not text.
  static std::optional<std::string> textMember(std::string_view object, std::string_view key);
};

}  // namespace platform
