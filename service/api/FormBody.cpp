#include "FormBody.h"

#include <boost/url/encoding_opts.hpp>
#include <boost/url/pct_string_view.hpp>

namespace vantory::service {

namespace {

std::optional<nlohmann::json> parseObject(std::string_view text) {
  nlohmann::json parsed = nlohmann::json::parse(text, nullptr, false);
  if (parsed.is_discarded() || !parsed.is_object()) {
    return std::nullopt;
  }
  return parsed;
}

}  // namespace

std::optional<std::string> FormBody::formDecode(std::string_view text) {
  const auto escaped = boost::urls::make_pct_string_view(text);
  if (!escaped) {
    return std::nullopt;
  }
  boost::urls::encoding_opts form;
  form.space_as_plus = true;
  return escaped->decode(form);
}

std::optional<nlohmann::json> FormBody::parse(std::string_view body, std::string_view name) {
  const std::size_t equals = body.find('=');
  if (equals == std::string_view::npos || body.substr(0, equals) != name) {
    return std::nullopt;
  }
  const std::string_view value = body.substr(equals + 1);
  if (auto raw = parseObject(value)) {
    return raw;
  }
  const auto decoded = formDecode(value);
  return decoded ? parseObject(*decoded) : std::nullopt;
}

}  // namespace vantory::service
