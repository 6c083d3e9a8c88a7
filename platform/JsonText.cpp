#include "JsonText.h"

#include <rapidjson/error/en.h>

#include <nlohmann/json.hpp>

#include "JsonSerialization.h"

namespace platform {

void JsonText::appendString(std::string& out, std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += '"';
  std::size_t plain = 0;  // start of the run not yet copied
  for (std::size_t at = 0; at < text.size(); ++at) {
    const auto c = static_cast<unsigned char>(text[at]);
    if (c >= 0x20 && c != '"' && c != '\\') {
      continue;
    }
    out.append(text, plain, at - plain);
    plain = at + 1;
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\f':
        out += "\\f";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        out += "\\u00";
        out += kHex[c >> 4];
        out += kHex[c & 0xF];
    }
  }
  out.append(text, plain, text.size() - plain);
  out += '"';
}

void JsonText::appendDouble(std::string& out, double value) { out += nlohmann::json(value).dump(); }

std::string JsonText::parseError(const rapidjson::ParseResult& result, bool tooDeep,
                                 std::size_t size) {
  std::string reason;
  switch (result.Code()) {
    case rapidjson::kParseErrorNumberTooBig:
      reason = "number overflow parsing a number beyond the range of a double";
      break;
    case rapidjson::kParseErrorStringInvalidEncoding:
      reason = "invalid string: ill-formed UTF-8 byte";
      break;
    case rapidjson::kParseErrorTermination:
      reason = tooDeep ? "nesting deeper than " + std::to_string(JsonSerialization::kMaxDepth) +
                             " levels"
                       : "the reader stopped";
      break;
    default:
      reason = result.Offset() >= size ? std::string("unexpected end of input; ") +
                                             rapidjson::GetParseError_En(result.Code())
                                       : rapidjson::GetParseError_En(result.Code());
  }
  return "[json.exception.parse_error] parse error at byte " + std::to_string(result.Offset()) +
         ": " + reason;
}

}  // namespace platform
