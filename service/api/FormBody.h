#pragma once

#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace vantory::service {

// A POST body of the form "name=<JSON object>". The JSON is taken raw after
// the first "=" (the app sends "&", "+", "%" and "=" unescaped inside values);
// a body that is not valid JSON raw is tried once more form-decoded.
class FormBody {
 public:
  FormBody() = delete;

  // The object, when the body has that form with the expected name.
  static std::optional<nlohmann::json> parse(std::string_view body, std::string_view name);

  // %XX and "+" decoding of a form value; nothing for a malformed escape.
  static std::optional<std::string> formDecode(std::string_view text);
};

}  // namespace vantory::service
