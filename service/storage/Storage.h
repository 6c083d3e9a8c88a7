#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vantory::service {

struct StoreRow {
  std::int64_t id = 0;
  std::string name;
  std::string createdBy;
};

struct ItemRow {
  std::int64_t id = 0;
  std::int64_t storeId = 0;
  std::string name;
  std::string description;
  std::string price;
  std::string postedBy;
  std::int64_t interested = 0;
  std::int64_t bought = 0;
  std::string storeName;  // filled by search only
};

// An interest or a purchase: who, and how many.
struct QuantityRow {
  std::string name;
  std::int64_t qty = 0;
  std::int64_t id = 0;
};

// A change to the shared data, as clients following changes are told of
// it: what changed and the ids involved (0 where none), never names or texts.
struct ChangeRow {
  std::int64_t id = 0;  // increasing with every change
  std::string kind;     // "storeAdded", "dealEdited", "interestRemoved", ...
  std::int64_t storeId = 0;
  std::int64_t itemId = 0;
  std::int64_t recordId = 0;  // the interest or purchase
};

// What became of a correction asked for by name.
enum class Correction {
  done,
  unknown,         // no record with that id
  notYours,        // the record is someone else's
  othersInvolved,  // a deal others want or bought
  hasDeals,        // a store that still has deals
};

// The reply a write got, kept under the Idempotency-Key it was sent with.
struct KeptReply {
  std::string fingerprint;  // of the request that got it
  int status = 200;
  std::string body;
};

// Where the shared data lives. Every call is safe from any thread. Calls on
// an unknown store or item give nothing (std::nullopt or false) and change
// nothing. A failure of the storage itself raises StorageError.
class Storage {
 public:
  virtual ~Storage() = default;

  virtual std::vector<StoreRow> listStores() = 0;
  virtual std::int64_t addStore(const std::string& name, const std::string& createdBy) = 0;

  virtual std::optional<std::vector<ItemRow>> listItems(std::int64_t storeId) = 0;
  virtual std::optional<std::int64_t> addItem(std::int64_t storeId, const std::string& name,
                                              const std::string& description,
                                              const std::string& price,
                                              const std::string& postedBy) = 0;
  virtual std::optional<ItemRow> getItem(std::int64_t itemId) = 0;
  virtual bool editItem(std::int64_t itemId, const std::string& name,
                        const std::string& description, const std::string& price) = 0;

  // Each adds the record and its quantity to the item's counter atomically.
  virtual std::optional<std::int64_t> addInterest(std::int64_t itemId, const std::string& name,
                                                  std::int64_t qty) = 0;
  virtual std::optional<std::int64_t> addPurchase(std::int64_t itemId, const std::string& name,
                                                  std::int64_t qty) = 0;
  virtual std::optional<std::vector<QuantityRow>> listInterests(std::int64_t itemId) = 0;
  virtual std::optional<std::vector<QuantityRow>> listPurchases(std::int64_t itemId) = 0;

  // Corrections by the person a record is under (`name`): a quantity
  // changed, or taken back when `qty` is absent, with the deal's counter in the same transaction;
  // a deal removed while nobody else wants or bought it (its poster's own
  // records go with it); a store removed while it has no deals.
  enum class Quantities { interests, purchases };
  virtual Correction correctQuantity(Quantities records, std::int64_t id, const std::string& name,
                                     std::optional<std::int64_t> qty) = 0;
  Correction updateInterest(std::int64_t id, const std::string& name, std::int64_t qty) {
    return correctQuantity(Quantities::interests, id, name, qty);
  }
  Correction removeInterest(std::int64_t id, const std::string& name) {
    return correctQuantity(Quantities::interests, id, name, std::nullopt);
  }
  Correction updatePurchase(std::int64_t id, const std::string& name, std::int64_t qty) {
    return correctQuantity(Quantities::purchases, id, name, qty);
  }
  Correction removePurchase(std::int64_t id, const std::string& name) {
    return correctQuantity(Quantities::purchases, id, name, std::nullopt);
  }
  virtual Correction removeItem(std::int64_t itemId, const std::string& name) = 0;
  virtual Correction removeStore(std::int64_t storeId, const std::string& name) = 0;
  // Deals whose name or description holds the text, ignoring case; every
  // character is literal. Ordered by store name, then store, then deal.
  virtual std::vector<ItemRow> search(const std::string& text) = 0;

  // Runs `write`, whose calls on this storage then share one transaction
  // with the key: a key already taken gives back the reply kept for it, and
  // `write` does not run. Otherwise the reply `write` returns is kept under
  // the key (nothing is kept when it returns none, as for a refusal). Keys
  // are kept for at least kIdempotencyKeyLifetime.
  virtual std::optional<KeptReply> writeOnce(
      const std::string& key, const std::string& fingerprint,
      const std::function<std::optional<KeptReply>()>& write) = 0;
  static constexpr std::chrono::hours kIdempotencyKeyLifetime{48};
  // Seconds since 1970, as keys are dated.
  static std::int64_t secondsSinceEpoch() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
  }

  // Changes with an id above `after`, oldest first, at most `limit`: every
  // write's changes are kept in its own transaction, the newest
  // kKeptChanges of them.
  virtual std::vector<ChangeRow> changesAfter(std::int64_t after, std::size_t limit) = 0;
  static constexpr std::int64_t kKeptChanges = 10000;
  // The ids of the oldest and the newest change kept; 0 and 0 when none is.
  struct ChangeSpan {
    std::int64_t oldest = 0;
    std::int64_t newest = 0;
  };
  virtual ChangeSpan changeSpan() = 0;

  // A value that changes whenever anything is committed, by this server or
  // another one sharing the storage. Cheap to read; read it before the data
  // it guards, and a reply cached under it is never stale.
  virtual std::uint64_t dataVersion() = 0;
};

}  // namespace vantory::service
