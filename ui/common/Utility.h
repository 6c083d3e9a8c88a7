#pragma once

#include <optional>
#include <string>

#include <nlohmann/json.hpp>

namespace vantory {

// Records to JSON text and back, and the stored user name. Class-level only.
class Utility {
 public:
  Utility() = delete;

  // The record held in the JSON text, or nothing when the text is not the
  // JSON of an object (a parse error is printed; other values are not).
  static std::optional<nlohmann::json> convertToDictionary(const std::string& text);

  // Compact JSON text of the record. Characters outside ASCII are written as
  // \uXXXX escapes, so the text stays ASCII and reaches the service intact.
  // Nothing when the record holds text that is not valid UTF-8.
  static std::optional<std::string> convertToJsonString(const nlohmann::json& record);

  static std::optional<nlohmann::json> getUserDefault(const std::string& key);

  // The user-defaults key of the stored user name.
  static constexpr char kUserNameKey[] = "Name";

  // The stored user name, when it is text.
  static std::optional<std::string> storedUserName();
};

}  // namespace vantory
