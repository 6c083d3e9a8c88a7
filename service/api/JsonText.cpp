#include "JsonText.h"

namespace vantory::service {

namespace {

void appendMember(std::string& out, std::string_view key, std::string_view value) {
  JsonText::appendString(out, key);
  out += ':';
  JsonText::appendString(out, value);
}

}  // namespace

void JsonText::appendString(std::string& out, std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += '"';
  for (const char c : text) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
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
        if (static_cast<unsigned char>(c) < 0x20) {
          out += "\\u00";
          out += kHex[(c >> 4) & 0xF];
          out += kHex[c & 0xF];
        } else {
          out += c;
        }
    }
  }
  out += '"';
}

void JsonText::appendStore(std::string& out, const StoreRow& store) {
  out += '{';
  appendMember(out, "id", std::to_string(store.id));
  out += ',';
  appendMember(out, "name", store.name);
  out += ',';
  appendMember(out, "created_by", store.createdBy);
  out += '}';
}

void JsonText::appendItem(std::string& out, const ItemRow& item, bool withStoreName) {
  out += '{';
  appendMember(out, "id", std::to_string(item.id));
  out += ',';
  appendMember(out, "name", item.name);
  out += ',';
  appendMember(out, "description", item.description);
  out += ',';
  appendMember(out, "price", item.price);
  out += ',';
  appendMember(out, "posted_by", item.postedBy);
  out += ',';
  appendMember(out, "interested", std::to_string(item.interested));
  out += ',';
  appendMember(out, "bought", std::to_string(item.bought));
  if (withStoreName) {
    out += ',';
    appendMember(out, "store_name", item.storeName);
  }
  out += '}';
}

void JsonText::appendQuantity(std::string& out, const QuantityRow& row) {
  out += '{';
  appendMember(out, "name", row.name);
  out += ',';
  appendMember(out, "qty", std::to_string(row.qty));
  out += '}';
}

}  // namespace vantory::service
