#include "Utility.h"

#include "platform/Console.h"
#include "platform/JsonSerialization.h"
#include "platform/UserDefaults.h"

namespace vantory {

std::optional<nlohmann::json> Utility::convertToDictionary(const std::string& text) {
  std::string error;
  std::optional<nlohmann::json> parsed =
      platform::JsonSerialization::jsonObjectWithData(text, &error);
  if (!parsed) {
    platform::Console::print(error);
    return std::nullopt;
  }
  if (!parsed->is_object()) {
    return std::nullopt;
  }
  return parsed;
}

std::optional<std::string> Utility::convertToJsonString(const nlohmann::json& record) {
  try {
    return record.dump(-1, ' ', /*ensure_ascii=*/true, nlohmann::json::error_handler_t::strict);
  } catch (const nlohmann::json::type_error&) {
    return std::nullopt;
  }
}

std::optional<nlohmann::json> Utility::getUserDefault(const std::string& key) {
  return platform::UserDefaults::standardUserDefaults().objectForKey(key);
}

std::optional<std::string> Utility::storedUserName() {
  const auto name = getUserDefault(kUserNameKey);
  if (!name || !name->is_string()) {
    return std::nullopt;
  }
  return name->get<std::string>();
}

}  // namespace vantory
