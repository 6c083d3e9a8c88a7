#include "JsonSerialization.h"

#include "JsonText.h"
#include "Utf8.h"

#include <vector>

namespace platform {

namespace {

using Json = nlohmann::json;

// Builds the value from RapidJSON's reader (several times faster than
// nlohmann's own parser on long lists), refusing nesting past the limit.
class DomBuilder : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, DomBuilder> {
 public:
  bool Null() { return place(nullptr); }
  bool Bool(bool value) { return place(value); }
  bool Int(int value) { return place(value); }
  bool Uint(unsigned value) { return place(value); }
  bool Int64(std::int64_t value) { return place(value); }
  bool Uint64(std::uint64_t value) { return place(value); }
  bool Double(double value) { return place(value); }
  bool String(const char* text, rapidjson::SizeType length, bool /*copy*/) {
    return place(Json(std::string(text, length)));
  }
  bool Key(const char* text, rapidjson::SizeType length, bool /*copy*/) {
    key_.assign(text, length);
    return true;
  }
  bool StartObject() { return enter(Json::object()); }
  bool EndObject(rapidjson::SizeType /*members*/) { return leave(); }
  bool StartArray() { return enter(Json::array()); }
  bool EndArray(rapidjson::SizeType /*elements*/) { return leave(); }

  Json& result() { return root_; }
  bool tooDeep() const { return tooDeep_; }

 private:
  // Puts the value where the parse stands: the root, the next element of an
  // array, or the member under the last key.
  Json* put(Json&& value) {
    if (open_.empty()) {
      root_ = std::move(value);
      return &root_;
    }
    Json& container = *open_.back();
    if (container.is_array()) {
      auto& elements = container.get_ref<Json::array_t&>();
      elements.push_back(std::move(value));
      return &elements.back();
    }
    auto& members = container.get_ref<Json::object_t&>();
    // A repeated key keeps its last value, as nlohmann's parser does.
    return &members.insert_or_assign(std::move(key_), std::move(value)).first->second;
  }
  bool place(Json&& value) {
    put(std::move(value));
    return true;
  }
  bool enter(Json&& container) {
    if (open_.size() >= JsonSerialization::kMaxDepth) {
      tooDeep_ = true;
      return false;
    }
    open_.push_back(put(std::move(container)));
    return true;
  }
  bool leave() {
    open_.pop_back();
    return true;
  }

  Json root_;
  std::vector<Json*> open_;
  std::string key_;
  bool tooDeep_ = false;
};

void writeString(std::string& out, const std::string& text) {
  if (!Utf8::isValid(text)) {
    // Built here, not parsed: written as nlohmann's replace writes it.
    out += Json(text).dump(-1, ' ', false, Json::error_handler_t::replace);
    return;
  }
  JsonText::appendString(out, text);
}

// Depth is bounded by the parser's limit for anything read from a peer.
void write(std::string& out, const Json& value) {
  switch (value.type()) {
    case Json::value_t::object: {
      out += '{';
      bool first = true;
      for (const auto& [key, member] : value.items()) {
        out += first ? "" : ",";
        first = false;
        writeString(out, key);
        out += ':';
        write(out, member);
      }
      out += '}';
      break;
    }
    case Json::value_t::array: {
      out += '[';
      bool first = true;
      for (const Json& element : value) {
        out += first ? "" : ",";
        first = false;
        write(out, element);
      }
      out += ']';
      break;
    }
    case Json::value_t::string:
      writeString(out, value.get_ref<const std::string&>());
      break;
    default:
      // Numbers, booleans and null exactly as nlohmann writes them.
      out += value.dump();
  }
}

}  // namespace

std::string JsonSerialization::dataWithJSONObject(const nlohmann::json& value) {
  std::string out;
  write(out, value);
  return out;
}

std::optional<nlohmann::json> JsonSerialization::jsonObjectWithData(std::string_view data,
                                                                    std::string* error) {
  DomBuilder builder;
  if (!JsonText::read(data, builder, error)) {
    return std::nullopt;
  }
  return std::move(builder.result());
}

}  // namespace platform
