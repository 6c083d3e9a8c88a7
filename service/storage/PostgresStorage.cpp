#include "PostgresStorage.h"

#include "storage/JoinedWrites.h"
#include "storage/Schema.h"
#include "storage/StorageError.h"

namespace vantory::service {

namespace {

constexpr char kChanges[] = "vantory_changes";
// Held while the schema is checked and upgraded (an arbitrary number of our own).
constexpr long long kSchemaLock = 0x76616e746f7279;
constexpr std::chrono::seconds kConnectTimeout{5};

constexpr char kItemColumns[] =
    "i.id, i.store_id, i.name, i.description, i.price, i.posted_by, i.interested, i.bought";

ItemRow readItem(const PgConnection::Result& rows, int row, int first = 0) {
  ItemRow item;
  item.id = rows.integer(row, first);
  item.storeId = rows.integer(row, first + 1);
  item.name = rows.text(row, first + 2);
  item.description = rows.text(row, first + 3);
  item.price = rows.text(row, first + 4);
  item.postedBy = rows.text(row, first + 5);
  item.interested = rows.integer(row, first + 6);
  item.bought = rows.integer(row, first + 7);
  return item;
}

std::string text(std::int64_t number) { return std::to_string(number); }

// The text as an ILIKE pattern that matches it anywhere, every character
// literal.
std::string containing(const std::string& text) {
  std::string pattern = "%";
  for (const char c : text) {
    if (c == '\\' || c == '%' || c == '_') {
      pattern += '\\';
    }
    pattern += c;
  }
  return pattern + "%";
}

}  // namespace

PostgresStorage::PostgresStorage(Options options)
    : options_(std::move(options)),
      commits_([this](const std::function<void(PgConnection&)>& work) {
        Lease connection(*this);
        PgConnection::Transaction transaction(*connection);
        work(*connection);
        // Every server listening hears of the change when it commits.
        (*connection).exec(std::string("NOTIFY ") + kChanges);
        transaction.commit();
        ++version_;
      }) {
  // A database that is starting too is waited for, a while.
  const auto deadline = std::chrono::steady_clock::now() + options_.startupWait;
  std::unique_ptr<PgConnection> first;
  while (!first) {
    try {
      first = connect();
    } catch (const StorageError& error) {
      if (std::chrono::steady_clock::now() >= deadline) {
        throw;
      }
      if (options_.onWait) {
        options_.onWait(std::string(error.what()) + "; trying again");
      }
      std::this_thread::sleep_for(std::chrono::seconds(1));
    }
  }
  migrate(*first);
  {
    std::lock_guard lock(poolMutex_);
    ++open_;  // the first of the pool's connections
  }
  giveBack(std::move(first));
}

PostgresStorage::~PostgresStorage() = default;

std::unique_ptr<PgConnection> PostgresStorage::connect() {
  auto connection = std::make_unique<PgConnection>(options_.url, kConnectTimeout);
  connection->exec(std::string("LISTEN ") + kChanges);
  // What was committed before it listened it will never hear of.
  ++version_;
  return connection;
}

std::unique_ptr<PgConnection> PostgresStorage::borrow() {
  {
    std::unique_lock lock(poolMutex_);
    poolChanged_.wait(lock, [this] { return !idle_.empty() || open_ < options_.connections; });
    if (!idle_.empty()) {
      auto connection = std::move(idle_.back());
      idle_.pop_back();
      return connection;
    }
    ++open_;  // a place taken for the connection made below
  }
  try {
    return connect();
  } catch (...) {
    std::lock_guard lock(poolMutex_);
    --open_;
    poolChanged_.notify_one();
    throw;
  }
}

void PostgresStorage::giveBack(std::unique_ptr<PgConnection> connection) {
  std::lock_guard lock(poolMutex_);
  if (connection && connection->healthy()) {
    idle_.push_back(std::move(connection));
  } else if (connection) {
    --open_;  // broken: the next borrower connects afresh
  }
  poolChanged_.notify_one();
}

template <typename Work>
auto PostgresStorage::read(Work&& work) {
  Lease connection(*this);
  return work(*connection);
}

template <typename Work>
auto PostgresStorage::write(Work&& work) {
  if (auto* joined = JoinedWrites<PgConnection>::of(this)) {
    return work(*joined);
  }
  return commits_.run(std::forward<Work>(work));
}

std::optional<KeptReply> PostgresStorage::writeOnce(
    const std::string& key, const std::string& fingerprint,
    const std::function<std::optional<KeptReply>()>& write) {
  return commits_.run([&](PgConnection& db) -> std::optional<KeptReply> {
    const std::int64_t now = secondsSinceEpoch();
    // The key is taken first: another instance sending the same key waits
    // here until this transaction ends, then finds the key and its reply.
    const bool ours = db.run("take_key",
                             "INSERT INTO idempotency_keys (key, fingerprint, status, reply, "
                             "created_at) VALUES ($1, $2, 0, '', $3) ON CONFLICT (key) DO NOTHING "
                             "RETURNING key",
                             {key, fingerprint, text(now)})
                          .rows() == 1;
    if (!ours) {
      const auto kept =
          db.run("kept_reply",
                 "SELECT fingerprint, status, reply FROM idempotency_keys WHERE key = $1", {key});
      if (kept.rows() == 1) {
        return KeptReply{kept.text(0, 0), static_cast<int>(kept.integer(0, 1)), kept.text(0, 2)};
      }
      return std::nullopt;
    }
    std::optional<KeptReply> reply;
    {
      const JoinedWrites<PgConnection> joined(this, db);
      reply = write();
    }
    if (reply) {
      db.run("keep_reply", "UPDATE idempotency_keys SET status = $2, reply = $3 WHERE key = $1",
             {key, text(reply->status), reply->body});
    } else {
      db.run("free_key", "DELETE FROM idempotency_keys WHERE key = $1", {key});
    }
    db.run("forget_keys", "DELETE FROM idempotency_keys WHERE created_at < $1",
           {text(now - std::chrono::seconds(kIdempotencyKeyLifetime).count())});
    return std::nullopt;
  });
}

void PostgresStorage::migrate(PgConnection& connection) {
  const auto& scripts = schemaScripts(SchemaEngine::postgresql);
  const int latest = scripts.empty() ? 0 : scripts.back().version;
  PgConnection::Transaction transaction(connection);
  // One server migrates at a time; the others wait and find it done. The
  // advisory lock comes first: two CREATE TABLE IF NOT EXISTS at once can
  // both try to create the table, and one of them then fails.
  connection.exec("SELECT pg_advisory_xact_lock(" + std::to_string(kSchemaLock) + ")");
  connection.exec("CREATE TABLE IF NOT EXISTS vantory_schema (version INTEGER NOT NULL)");
  connection.exec("LOCK TABLE vantory_schema IN EXCLUSIVE MODE");
  const auto current =
      connection.run("schema_version", "SELECT coalesce(max(version), 0) FROM vantory_schema", {});
  const int version = static_cast<int>(current.integer(0, 0));
  if (version > latest) {
    throw SchemaTooNew("the database " + PgConnection::describe(options_.url) +
                       " has schema version " + std::to_string(version) +
                       ", but this vantory-server knows versions up to " + std::to_string(latest) +
                       "; run a newer vantory-server or choose another database");
  }
  for (const SchemaScript& script : scripts) {
    if (script.version > version) {
      connection.exec(script.sql);
    }
  }
  connection.exec("DELETE FROM vantory_schema");
  connection.exec("INSERT INTO vantory_schema (version) VALUES (" +
                  std::to_string(std::max(version, latest)) + ")");
  transaction.commit();
  schemaVersion_ = std::max(version, latest);
}

std::uint64_t PostgresStorage::dataVersion() {
  // Any check that begins after this call began will do (one already under
  // way may have started too early), so callers share checks: a busy server
  // makes about one round trip per round-trip time, not one per request.
  std::unique_lock lock(checkMutex_);
  const std::uint64_t wanted = checksStarted_ + 1;
  while (checksFinished_ < wanted) {
    if (checking_) {
      checkDone_.wait(lock);
      continue;
    }
    checking_ = true;
    const std::uint64_t number = ++checksStarted_;
    lock.unlock();
    std::exception_ptr failure;
    try {
      Lease connection(*this);
      if ((*connection).notifiedSinceLastAsked()) {
        ++version_;
      }
    } catch (...) {
      failure = std::current_exception();
    }
    lock.lock();
    checking_ = false;
    checksFinished_ = number;
    lastCheckFailure_ = failure;
    checkDone_.notify_all();
  }
  if (lastCheckFailure_) {
    std::rethrow_exception(lastCheckFailure_);
  }
  return version_.load();
}

std::vector<StoreRow> PostgresStorage::listStores() {
  return read([](PgConnection& db) {
    const auto rows =
        db.run("list_stores", "SELECT id, name, created_by FROM stores ORDER BY id", {});
    std::vector<StoreRow> stores;
    stores.reserve(static_cast<std::size_t>(rows.rows()));
    for (int row = 0; row < rows.rows(); ++row) {
      stores.push_back({rows.integer(row, 0), rows.text(row, 1), rows.text(row, 2)});
    }
    return stores;
  });
}

std::vector<ChangeRow> PostgresStorage::changesAfter(std::int64_t after, std::size_t limit) {
  return read([after, limit](PgConnection& db) {
    const auto rows = db.run("changes_after",
                             "SELECT id, kind, COALESCE(store_id, 0), COALESCE(item_id, 0), "
                             "COALESCE(record_id, 0) FROM change_events WHERE id > $1 "
                             "ORDER BY id LIMIT $2",
                             {std::to_string(after), std::to_string(limit)});
    std::vector<ChangeRow> changes;
    changes.reserve(static_cast<std::size_t>(rows.rows()));
    for (int row = 0; row < rows.rows(); ++row) {
      changes.push_back({rows.integer(row, 0), rows.text(row, 1), rows.integer(row, 2),
                         rows.integer(row, 3), rows.integer(row, 4)});
    }
    return changes;
  });
}

Storage::ChangeSpan PostgresStorage::changeSpan() {
  return read([](PgConnection& db) {
    const auto rows = db.run(
        "change_span", "SELECT COALESCE(MIN(id), 0), COALESCE(MAX(id), 0) FROM change_events", {});
    return ChangeSpan{rows.integer(0, 0), rows.integer(0, 1)};
  });
}

std::int64_t PostgresStorage::addStore(const std::string& name, const std::string& createdBy) {
  return write([&](PgConnection& db) {
    return db
        .run("add_store", "INSERT INTO stores (name, created_by) VALUES ($1, $2) RETURNING id",
             {name, createdBy})
        .integer(0, 0);
  });
}

std::optional<std::vector<ItemRow>> PostgresStorage::listItems(std::int64_t storeId) {
  return read([&](PgConnection& db) -> std::optional<std::vector<ItemRow>> {
    // One round trip: the store's row tells it exists, with or without deals.
    static const std::string sql = std::string("SELECT ") + kItemColumns +
                                   " FROM stores s LEFT JOIN items i ON i.store_id = s.id"
                                   " WHERE s.id = $1 ORDER BY i.id";
    const auto rows = db.run("list_items", sql.c_str(), {text(storeId)});
    if (rows.rows() == 0) {
      return std::nullopt;
    }
    std::vector<ItemRow> items;
    for (int row = 0; row < rows.rows(); ++row) {
      if (!rows.isNull(row, 0)) {
        items.push_back(readItem(rows, row));
      }
    }
    return items;
  });
}

std::optional<std::int64_t> PostgresStorage::addItem(std::int64_t storeId, const std::string& name,
                                                     const std::string& description,
                                                     const std::string& price,
                                                     const std::string& postedBy) {
  return write([&](PgConnection& db) -> std::optional<std::int64_t> {
    const auto rows = db.run("add_item",
                             "INSERT INTO items (store_id, name, description, price, posted_by) "
                             "SELECT $1, $2, $3, $4, $5 WHERE EXISTS "
                             "(SELECT 1 FROM stores WHERE id = $1) RETURNING id",
                             {text(storeId), name, description, price, postedBy});
    if (rows.rows() == 0) {
      return std::nullopt;
    }
    return rows.integer(0, 0);
  });
}

std::optional<ItemRow> PostgresStorage::getItem(std::int64_t itemId) {
  return read([&](PgConnection& db) -> std::optional<ItemRow> {
    static const std::string sql =
        std::string("SELECT ") + kItemColumns + " FROM items i WHERE i.id = $1";
    const auto rows = db.run("get_item", sql.c_str(), {text(itemId)});
    if (rows.rows() == 0) {
      return std::nullopt;
    }
    return readItem(rows, 0);
  });
}

bool PostgresStorage::editItem(std::int64_t itemId, const std::string& name,
                               const std::string& description, const std::string& price) {
  return write([&](PgConnection& db) {
    return db.run("edit_item",
                  "UPDATE items SET name = $2, description = $3, price = $4 WHERE id = $1 "
                  "RETURNING id",
                  {text(itemId), name, description, price})
               .rows() > 0;
  });
}

std::optional<std::int64_t> PostgresStorage::addQuantity(const Statement& statement,
                                                         std::int64_t itemId,
                                                         const std::string& name,
                                                         std::int64_t qty) {
  return write([&](PgConnection& db) -> std::optional<std::int64_t> {
    const auto added = db.run(statement.name, statement.sql, {text(itemId), text(qty), name});
    // No row: no such deal.
    return added.rows() == 0 ? std::nullopt : std::optional(added.integer(0, 0));
  });
}

// The counter and the record in one statement (one round trip instead of
// two, which is what writes are bound by): the counter first, which tells
// whether the deal exists and holds its row until the record is in.
std::optional<std::int64_t> PostgresStorage::addInterest(std::int64_t itemId,
                                                         const std::string& name,
                                                         std::int64_t qty) {
  return addQuantity({"add_interest",
                      "WITH counted AS (UPDATE items SET interested = interested + $2 "
                      "WHERE id = $1 RETURNING id) INSERT INTO interests (item_id, qty, name) "
                      "SELECT id, $2, $3 FROM counted RETURNING id"},
                     itemId, name, qty);
}

std::optional<std::int64_t> PostgresStorage::addPurchase(std::int64_t itemId,
                                                         const std::string& name,
                                                         std::int64_t qty) {
  return addQuantity({"add_purchase",
                      "WITH counted AS (UPDATE items SET bought = bought + $2 "
                      "WHERE id = $1 RETURNING id) INSERT INTO purchases (item_id, qty, name) "
                      "SELECT id, $2, $3 FROM counted RETURNING id"},
                     itemId, name, qty);
}

std::optional<std::vector<QuantityRow>> PostgresStorage::listQuantities(const char* statement,
                                                                        const char* sql,
                                                                        std::int64_t itemId) {
  return read([&](PgConnection& db) -> std::optional<std::vector<QuantityRow>> {
    const auto rows = db.run(statement, sql, {text(itemId)});
    if (rows.rows() == 0) {
      return std::nullopt;
    }
    std::vector<QuantityRow> records;
    for (int row = 0; row < rows.rows(); ++row) {
      if (!rows.isNull(row, 1)) {
        records.push_back({rows.text(row, 0), rows.integer(row, 1), rows.integer(row, 2)});
      }
    }
    return records;
  });
}

std::optional<std::vector<QuantityRow>> PostgresStorage::listInterests(std::int64_t itemId) {
  return listQuantities("list_interests",
                        "SELECT x.name, x.qty, x.id FROM items i LEFT JOIN interests x ON "
                        "x.item_id = i.id WHERE i.id = $1 ORDER BY x.id",
                        itemId);
}

std::optional<std::vector<QuantityRow>> PostgresStorage::listPurchases(std::int64_t itemId) {
  return listQuantities("list_purchases",
                        "SELECT x.name, x.qty, x.id FROM items i LEFT JOIN purchases x ON "
                        "x.item_id = i.id WHERE i.id = $1 ORDER BY x.id",
                        itemId);
}

namespace {

const PostgresStorage::QuantityStatements kInterestCorrections{
    {"interest_by_id", "SELECT item_id, name, qty FROM interests WHERE id = $1 FOR UPDATE"},
    {"update_interest", "UPDATE interests SET qty = $2 WHERE id = $1"},
    {"remove_interest", "DELETE FROM interests WHERE id = $1"},
    {"recount_interest", "UPDATE items SET interested = interested + $2 WHERE id = $1"}};
const PostgresStorage::QuantityStatements kPurchaseCorrections{
    {"purchase_by_id", "SELECT item_id, name, qty FROM purchases WHERE id = $1 FOR UPDATE"},
    {"update_purchase", "UPDATE purchases SET qty = $2 WHERE id = $1"},
    {"remove_purchase", "DELETE FROM purchases WHERE id = $1"},
    {"recount_purchase", "UPDATE items SET bought = bought + $2 WHERE id = $1"}};

}  // namespace

Correction PostgresStorage::correctQuantity(Quantities records, std::int64_t id,
                                            const std::string& name,
                                            std::optional<std::int64_t> qty) {
  const auto& sql = records == Quantities::interests ? kInterestCorrections : kPurchaseCorrections;
  return write([&](PgConnection& db) {
    // The record's row stays locked until the counter has followed it.
    const auto record = db.run(sql.select.name, sql.select.sql, {text(id)});
    if (record.rows() == 0) {
      return Correction::unknown;
    }
    if (record.text(0, 1) != name) {
      return Correction::notYours;
    }
    const std::int64_t itemId = record.integer(0, 0);
    const std::int64_t before = record.integer(0, 2);
    if (qty) {
      db.run(sql.update.name, sql.update.sql, {text(id), text(*qty)});
    } else {
      db.run(sql.remove.name, sql.remove.sql, {text(id)});
    }
    db.run(sql.count.name, sql.count.sql, {text(itemId), text(qty.value_or(0) - before)});
    return Correction::done;
  });
}

Correction PostgresStorage::removeItem(std::int64_t itemId, const std::string& name) {
  return write([&](PgConnection& db) {
    // Locking the deal keeps new interest and purchases out until it is decided.
    const auto item = db.run(
        "item_for_removal", "SELECT posted_by FROM items WHERE id = $1 FOR UPDATE", {text(itemId)});
    if (item.rows() == 0) {
      return Correction::unknown;
    }
    if (item.text(0, 0) != name) {
      return Correction::notYours;
    }
    if (db.run("others_on_item",
               "SELECT 1 FROM interests WHERE item_id = $1 AND name <> $2 UNION ALL "
               "SELECT 1 FROM purchases WHERE item_id = $1 AND name <> $2 LIMIT 1",
               {text(itemId), name})
            .rows() > 0) {
      return Correction::othersInvolved;
    }
    db.run("remove_item_interests", "DELETE FROM interests WHERE item_id = $1", {text(itemId)});
    db.run("remove_item_purchases", "DELETE FROM purchases WHERE item_id = $1", {text(itemId)});
    db.run("remove_item", "DELETE FROM items WHERE id = $1", {text(itemId)});
    return Correction::done;
  });
}

Correction PostgresStorage::removeStore(std::int64_t storeId, const std::string& name) {
  return write([&](PgConnection& db) {
    const auto store =
        db.run("store_for_removal", "SELECT created_by FROM stores WHERE id = $1 FOR UPDATE",
               {text(storeId)});
    if (store.rows() == 0) {
      return Correction::unknown;
    }
    if (store.text(0, 0) != name) {
      return Correction::notYours;
    }
    if (db.run("store_has_items", "SELECT 1 FROM items WHERE store_id = $1 LIMIT 1",
               {text(storeId)})
            .rows() > 0) {
      return Correction::hasDeals;
    }
    db.run("remove_store", "DELETE FROM stores WHERE id = $1", {text(storeId)});
    return Correction::done;
  });
}

std::vector<ItemRow> PostgresStorage::search(const std::string& query) {
  // The order SQLite gives: store names with ASCII letters folded, compared
  // byte by byte, then store, then deal.
  static const std::string sql = std::string("SELECT ") + kItemColumns +
                                 ", s.name FROM items i JOIN stores s ON s.id = i.store_id"
                                 " WHERE i.name ILIKE $1 OR i.description ILIKE $1"
                                 " ORDER BY translate(s.name, 'ABCDEFGHIJKLMNOPQRSTUVWXYZ',"
                                 " 'abcdefghijklmnopqrstuvwxyz') COLLATE \"C\", s.id, i.id";
  return read([&](PgConnection& db) {
    const auto rows = db.run("search", sql.c_str(), {containing(query)});
    std::vector<ItemRow> items;
    items.reserve(static_cast<std::size_t>(rows.rows()));
    for (int row = 0; row < rows.rows(); ++row) {
      ItemRow item = readItem(rows, row);
      item.storeName = rows.text(row, 8);
      items.push_back(std::move(item));
    }
    return items;
  });
}

}  // namespace vantory::service
