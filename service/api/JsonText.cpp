#include "JsonText.h"

#include <charconv>

namespace vantory::service {

namespace {

void member(JsonText::Writer& out, std::string_view key, std::string_view value) {
  out.Key(key.data(), static_cast<rapidjson::SizeType>(key.size()));
  out.String(value.data(), static_cast<rapidjson::SizeType>(value.size()));
}

// Numbers travel as text, as every value does.
void member(JsonText::Writer& out, std::string_view key, std::int64_t value) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  member(out, key, std::string_view(digits, static_cast<std::size_t>(end - digits)));
}

}  // namespace

void JsonText::writeStore(Writer& out, const StoreRow& store) {
  out.StartObject();
  member(out, "id", store.id);
  member(out, "name", store.name);
  member(out, "created_by", store.createdBy);
  out.EndObject();
}

void JsonText::writeItem(Writer& out, const ItemRow& item, bool withStoreName) {
  out.StartObject();
  member(out, "id", item.id);
  member(out, "name", item.name);
  member(out, "description", item.description);
  member(out, "price", item.price);
  member(out, "posted_by", item.postedBy);
  member(out, "interested", item.interested);
  member(out, "bought", item.bought);
  if (withStoreName) {
    member(out, "store_name", item.storeName);
  }
  out.EndObject();
}

void JsonText::writeQuantity(Writer& out, const QuantityRow& row) {
  out.StartObject();
  member(out, "name", row.name);
  member(out, "qty", row.qty);
  member(out, "id", row.id);
  out.EndObject();
}

}  // namespace vantory::service
