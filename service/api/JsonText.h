#pragma once

#include <string>
#include <string_view>

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include "storage/Storage.h"

namespace vantory::service {

// Writes the list replies straight to JSON text with RapidJSON's writer: large
// lists (a store with thousands of deals) are answered without building a
// document first. Texts are stored as valid UTF-8 and written as they are.
class JsonText {
 public:
  using Writer = rapidjson::Writer<rapidjson::StringBuffer>;

  JsonText() = delete;

  static void writeStore(Writer& out, const StoreRow& store);
  // The item record; with `withStoreName`, a search result.
  static void writeItem(Writer& out, const ItemRow& item, bool withStoreName);
  static void writeQuantity(Writer& out, const QuantityRow& row);

  // {"<key>":[...]} from the rows, each written by `write`.
  template <typename Rows, typename Write>
  static std::string list(std::string_view key, const Rows& rows, Write&& write) {
    rapidjson::StringBuffer buffer(nullptr, 64 + rows.size() * 160);
    Writer out(buffer);
    out.StartObject();
    out.Key(key.data(), static_cast<rapidjson::SizeType>(key.size()));
    out.StartArray();
    for (const auto& row : rows) {
      write(out, row);
    }
    out.EndArray();
    out.EndObject();
    return std::string(buffer.GetString(), buffer.GetSize());
  }
};

}  // namespace vantory::service
