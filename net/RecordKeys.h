#pragma once

// The keys of the records the service sends and receives. Every value on the
// wire is a JSON string, numbers included.
namespace vantory::key {

// Store record
inline constexpr char id[] = "id";
inline constexpr char name[] = "name";
inline constexpr char createdBy[] = "created_by";

// Item record (plus id and name)
inline constexpr char description[] = "description";
inline constexpr char price[] = "price";
inline constexpr char postedBy[] = "posted_by";
inline constexpr char interested[] = "interested";
inline constexpr char bought[] = "bought";
inline constexpr char storeName[] = "store_name";

// Interest and purchase records (plus name)
inline constexpr char qty[] = "qty";

// Request records: the keys sent differ from those read back.
inline constexpr char created[] = "created";
inline constexpr char posted[] = "posted";
inline constexpr char storeId[] = "storeId";
inline constexpr char itemId[] = "itemId";
inline constexpr char query[] = "query";

}  // namespace vantory::key
