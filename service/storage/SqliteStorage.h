#pragma once

#include <atomic>
#include <filesystem>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <vector>

#include "storage/ConnectionLease.h"
#include "storage/GroupCommit.h"
#include "storage/Schema.h"
#include "storage/ServerLock.h"
#include "storage/SqliteConnection.h"
#include "storage/Storage.h"

namespace vantory::service {

// The embedded default: one SQLite file in WAL mode. One writer connection
// whose writes are gathered into group commits, readers in parallel on
// connections of their own. Acknowledged writes survive a crash of the process; with Sync::full
// they also survive a power loss. Several servers may share one file: each
// sees the others' commits in dataVersion(). A damaged file is refused at
// start; failures are raised as StorageError.
class SqliteStorage : public Storage {
 public:
  enum class Sync { normal, full };

  using SchemaTooNew = vantory::service::SchemaTooNew;

  explicit SqliteStorage(const std::filesystem::path& file, Sync sync = Sync::normal);
  ~SqliteStorage() override;

  std::vector<StoreRow> listStores() override;
  std::int64_t addStore(const std::string& name, const std::string& createdBy) override;
  std::optional<std::vector<ItemRow>> listItems(std::int64_t storeId) override;
  std::optional<std::int64_t> addItem(std::int64_t storeId, const std::string& name,
                                      const std::string& description, const std::string& price,
                                      const std::string& postedBy) override;
  std::optional<ItemRow> getItem(std::int64_t itemId) override;
  bool editItem(std::int64_t itemId, const std::string& name, const std::string& description,
                const std::string& price) override;
  std::optional<std::int64_t> addInterest(std::int64_t itemId, const std::string& name,
                                          std::int64_t qty) override;
  std::optional<std::int64_t> addPurchase(std::int64_t itemId, const std::string& name,
                                          std::int64_t qty) override;
  std::optional<std::vector<QuantityRow>> listInterests(std::int64_t itemId) override;
  std::optional<std::vector<QuantityRow>> listPurchases(std::int64_t itemId) override;
  std::vector<ItemRow> search(const std::string& text) override;
  Correction correctQuantity(Quantities records, std::int64_t id, const std::string& name,
                             std::optional<std::int64_t> qty) override;
  Correction removeItem(std::int64_t itemId, const std::string& name) override;
  Correction removeStore(std::int64_t storeId, const std::string& name) override;
  // The statements that correct interests or purchases.
  struct QuantitySql {
    const char* select;  // item_id, name, qty of a record by id
    const char* update;  // its qty
    const char* remove;
    const char* count;  // adds to the deal's counter
  };

  std::optional<KeptReply> writeOnce(
      const std::string& key, const std::string& fingerprint,
      const std::function<std::optional<KeptReply>()>& write) override;
  std::vector<ChangeRow> changesAfter(std::int64_t after, std::size_t limit) override;
  ChangeSpan changeSpan() override;
  std::uint64_t dataVersion() override;

  int schemaVersion() const { return schemaVersion_; }

 private:
  // Calls that read borrow a reader connection of the pool.
  using Lease = ConnectionLease<SqliteStorage, SqliteConnection>;
  friend Lease;

  static void useWriteAheadLog(SqliteConnection& connection);
  void checkIntegrity();
  void migrate();
  std::unique_ptr<SqliteConnection> borrow();
  void giveBack(std::unique_ptr<SqliteConnection> reader);
  template <typename Work>
  auto read(Work&& work);
  template <typename Work>
  auto readOne(Work&& work);
  template <typename Work>
  auto write(Work&& work);
  std::optional<std::int64_t> addQuantity(const char* insertSql, const char* counterSql,
                                          std::int64_t itemId, const std::string& name,
                                          std::int64_t qty);
  std::optional<std::vector<QuantityRow>> listQuantities(const char* sql, std::int64_t itemId);

  std::filesystem::path file_;
  // Released last, once every connection is closed: closing another
  // descriptor of the file while SQLite holds locks would drop them.
  ServerLock serverLock_;
  std::mutex writerMutex_;
  std::unique_ptr<SqliteConnection> writer_;
  GroupCommit<SqliteConnection> commits_;
  std::mutex readersMutex_;
  std::vector<std::unique_ptr<SqliteConnection>> idleReaders_;
  std::mutex watcherMutex_;
  std::unique_ptr<SqliteConnection> watcher_;  // reads data_version only
  int schemaVersion_ = 0;
};

}  // namespace vantory::service
