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

  // Lets go of a list: a long one is freed on a queue of its own, so that the
  // main queue does not spend its turn on it.
  static void discard(std::optional<nlohmann::json> value);
};

}  // namespace vantory
