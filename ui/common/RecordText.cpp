#include "RecordText.h"

#include "platform/JsonSerialization.h"

namespace vantory {

std::optional<std::string> RecordText::text(const nlohmann::json& record, const char* key) {
  if (!record.is_object()) {
    return std::nullopt;
  }
  const auto found = record.find(key);
  if (found == record.end() || !found->is_string()) {
    return std::nullopt;
  }
  return found->get<std::string>();
}

std::string RecordText::describe(const std::optional<nlohmann::json>& value) {
  if (!value) {
    return "null";
  }
  return platform::JsonSerialization::dataWithJSONObject(*value);
}

}  // namespace vantory
