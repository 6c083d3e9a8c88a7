#include "JsonSerialization.h"

namespace platform {

namespace {

using Json = nlohmann::json;

// Builds the value as nlohmann's own DOM parser does, but stops at the depth
// limit and turns every error into a message instead of an exception.
class BoundedDomBuilder {
 public:
  explicit BoundedDomBuilder(Json& result) : dom_(result, /*allow_exceptions=*/false) {}

  bool null() { return dom_.null(); }
  bool boolean(bool value) { return dom_.boolean(value); }
  bool number_integer(Json::number_integer_t value) { return dom_.number_integer(value); }
  bool number_unsigned(Json::number_unsigned_t value) { return dom_.number_unsigned(value); }
  bool number_float(Json::number_float_t value, const Json::string_t& text) {
    return dom_.number_float(value, text);
  }
  bool string(Json::string_t& value) { return dom_.string(value); }
  bool binary(Json::binary_t& value) { return dom_.binary(value); }
  bool start_object(std::size_t elements) { return enter() && dom_.start_object(elements); }
  bool key(Json::string_t& value) { return dom_.key(value); }
  bool end_object() {
    --depth_;
    return dom_.end_object();
  }
  bool start_array(std::size_t elements) { return enter() && dom_.start_array(elements); }
  bool end_array() {
    --depth_;
    return dom_.end_array();
  }
  template <typename Exception>
  bool parse_error(std::size_t /*position*/, const std::string& /*token*/,
                   const Exception& exception) {
    error_ = exception.what();
    return false;
  }

  const std::string& error() const { return error_; }

 private:
  bool enter() {
    if (++depth_ > JsonSerialization::kMaxDepth) {
      error_ = "[json.exception.parse_error] nesting deeper than " +
               std::to_string(JsonSerialization::kMaxDepth) + " levels";
      return false;
    }
    return true;
  }

  nlohmann::detail::json_sax_dom_parser<Json> dom_;
  std::size_t depth_ = 0;
  std::string error_;
};

}  // namespace

std::optional<nlohmann::json> JsonSerialization::jsonObjectWithData(std::string_view data,
                                                                    std::string* error) {
  Json result;
  BoundedDomBuilder builder(result);
  bool parsed = false;
  try {
    parsed = Json::sax_parse(data.begin(), data.end(), &builder);
  } catch (const std::exception& unexpected) {  // allocation failure on a huge reply
    if (error != nullptr) {
      *error = unexpected.what();
    }
    return std::nullopt;
  }
  if (!parsed) {
    if (error != nullptr) {
      *error =
          builder.error().empty() ? "[json.exception.parse_error] invalid JSON" : builder.error();
    }
    return std::nullopt;
  }
  return result;
}

}  // namespace platform
