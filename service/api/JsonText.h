#pragma once

#include <string>
#include <string_view>

#include "storage/Storage.h"

namespace vantory::service {

// Writes the list replies straight to JSON text: large lists (a store with
// thousands of deals) are answered without building a document first.
class JsonText {
 public:
  JsonText() = delete;

  // A JSON string: quotes, backslashes and control characters escaped,
  // everything else (valid UTF-8) as it is.
  static void appendString(std::string& out, std::string_view text);

  static void appendStore(std::string& out, const StoreRow& store);
  // The item record; with `withStoreName`, a search result.
  static void appendItem(std::string& out, const ItemRow& item, bool withStoreName);
  static void appendQuantity(std::string& out, const QuantityRow& row);

  // {"<key>":[...]} from the rows, each written by `append`.
  template <typename Rows, typename Append>
  static std::string list(std::string_view key, const Rows& rows, Append&& append) {
    std::string out;
    out.reserve(64 + rows.size() * 160);
    out += "{";
    appendString(out, key);
    out += ":[";
    bool first = true;
    for (const auto& row : rows) {
      if (!first) {
        out += ',';
      }
      first = false;
      append(out, row);
    }
    out += "]}";
    return out;
  }
};

}  // namespace vantory::service
