#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "storage/ConnectionLease.h"
#include "storage/GroupCommit.h"
#include "storage/PgConnection.h"
#include "storage/Storage.h"

namespace vantory::service {

// The shared data in PostgreSQL, for groups that outgrow one machine: any
// number of servers on one database are one service. Connections come from a
// pool sized to the server's threads; writes are gathered into group commits
// and counters change in the same transaction as their records. Every write transaction sends a
// notification on commit and every connection listens for them; dataVersion() (which cached replies
// are keyed by) makes one round trip, with which PostgreSQL delivers every
// notification of a commit that came before it, so no server serves a stale
// cache. When the database cannot be reached, calls raise StorageError
// (`unavailable`) and the next ones connect again.
class PostgresStorage : public Storage {
 public:
  struct Options {
    std::string url;  // postgresql://USER@HOST:PORT/DBNAME
    std::size_t connections = 4;
    // How long to wait at start for a database that cannot be reached yet.
    std::chrono::seconds startupWait = std::chrono::seconds(30);
    // Told about each failed attempt while waiting.
    std::function<void(const std::string& message)> onWait;
  };

  explicit PostgresStorage(Options options);
  ~PostgresStorage() override;
  PostgresStorage(const PostgresStorage&) = delete;
  PostgresStorage& operator=(const PostgresStorage&) = delete;

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
  // A prepared statement: its name on each connection and its text.
  struct Statement {
    const char* name;
    const char* sql;
  };
  // The statements that correct interests or purchases.
  struct QuantityStatements {
    Statement select;  // item_id, name, qty of a record by id, locked
    Statement update;  // its qty
    Statement remove;
    Statement count;  // adds to the deal's counter
  };

  std::optional<KeptReply> writeOnce(
      const std::string& key, const std::string& fingerprint,
      const std::function<std::optional<KeptReply>()>& write) override;
  std::vector<ChangeRow> changesAfter(std::int64_t after, std::size_t limit) override;
  ChangeSpan changeSpan() override;
  std::uint64_t dataVersion() override;

  int schemaVersion() const { return schemaVersion_; }

 private:
  // Every call borrows a connection of the pool.
  using Lease = ConnectionLease<PostgresStorage, PgConnection>;
  friend Lease;

  std::unique_ptr<PgConnection> connect();
  std::unique_ptr<PgConnection> borrow();
  void giveBack(std::unique_ptr<PgConnection> connection);
  template <typename Work>
  auto read(Work&& work);
  template <typename Work>
  auto write(Work&& work);
  void migrate(PgConnection& connection);
  std::optional<std::int64_t> addQuantity(const Statement& statement, std::int64_t itemId,
                                          const std::string& name, std::int64_t qty);
  std::optional<std::vector<QuantityRow>> listQuantities(const char* statement, const char* sql,
                                                         std::int64_t itemId);

  Options options_;
  int schemaVersion_ = 0;

  std::mutex poolMutex_;
  std::condition_variable poolChanged_;
  std::vector<std::unique_ptr<PgConnection>> idle_;
  std::size_t open_ = 0;

  std::atomic<std::uint64_t> version_{1};
  std::mutex checkMutex_;
  std::condition_variable checkDone_;
  std::uint64_t checksStarted_ = 0;
  std::uint64_t checksFinished_ = 0;
  bool checking_ = false;
  std::exception_ptr lastCheckFailure_;
  GroupCommit<PgConnection> commits_;
};

}  // namespace vantory::service
