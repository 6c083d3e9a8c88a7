#pragma once

#include <optional>
#include <string>

#include <nlohmann/json.hpp>

namespace vantory {

// Reads the text values of records received from the service, which may be
// malformed: a value that is missing or not text reads as nothing.
class RecordText {
 public:
  RecordText() = delete;

  static std::optional<std::string> text(const nlohmann::json& record, const char* key);

  // The whole reply or record as printed on the console ("null" for none).
  static std::string describe(const std::optional<nlohmann::json>& value);
};

}  // namespace vantory
