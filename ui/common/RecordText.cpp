#include "RecordText.h"

#include <memory>

#include "platform/DispatchQueue.h"
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

void RecordText::discard(std::optional<nlohmann::json> value) {
  constexpr std::size_t kLong = 1000;
  if (!value || !value->is_array() || value->size() < kLong) {
    return;
  }
  static platform::DispatchQueue disposal("com.vantory.disposal");
  auto held = std::make_shared<nlohmann::json>(std::move(*value));
  disposal.async([held]() mutable { held.reset(); });
}

}  // namespace vantory
