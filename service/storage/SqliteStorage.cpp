#include "SqliteStorage.h"

#include "Utf8.h"

#include <algorithm>
#include <chrono>
#include <thread>
#include <unordered_map>
#include "storage/JoinedWrites.h"
#include "storage/Schema.h"
#include "storage/StorageError.h"

namespace vantory::service {

namespace {

constexpr char kItemColumns[] =
    "i.id, i.store_id, i.name, i.description, i.price, i.posted_by, i.interested, i.bought";

ItemRow readItem(const SqliteConnection::Statement& row) {
  ItemRow item;
  item.id = row.columnInt64(0);
  item.storeId = row.columnInt64(1);
  item.name = row.columnText(2);
  item.description = row.columnText(3);
  item.price = row.columnText(4);
  item.postedBy = row.columnText(5);
  item.interested = row.columnInt64(6);
  item.bought = row.columnInt64(7);
  return item;
}

bool exists(SqliteConnection& db, const char* sql, std::int64_t id) {
  auto statement = db.prepare(sql);
  statement.bind(1, id);
  return statement.step();
}

constexpr char kStoreExists[] = "SELECT 1 FROM stores WHERE id = ?1";
constexpr char kItemExists[] = "SELECT 1 FROM items WHERE id = ?1";

// The text as one FTS5 string: every character literal.
std::string ftsPhrase(const std::string& text) {
  std::string phrase = "\"";
  for (const char c : text) {
    phrase += c;
    if (c == '"') {
      phrase += '"';
    }
  }
  phrase += '"';
  return phrase;
}

}  // namespace

SqliteStorage::SqliteStorage(const std::filesystem::path& file, Sync sync)
    : file_(file), commits_([this](const std::function<void(SqliteConnection&)>& work) {
        std::lock_guard lock(writerMutex_);
        writer_->prepare("BEGIN IMMEDIATE").step();
        try {
          work(*writer_);
          writer_->prepare("COMMIT").step();
        } catch (...) {
          writer_->rollbackQuietly();
          throw;
        }
      }) {
  writer_ = std::make_unique<SqliteConnection>(file, false);
  serverLock_ = ServerLock::shared(file);
  useWriteAheadLog(*writer_);
  writer_->exec(sync == Sync::full ? "PRAGMA synchronous=FULL" : "PRAGMA synchronous=NORMAL");
  writer_->exec("PRAGMA foreign_keys=ON");
  checkIntegrity();
  migrate();
  watcher_ = std::make_unique<SqliteConnection>(file, true);
}

void SqliteStorage::useWriteAheadLog(SqliteConnection& connection) {
  // Switching a new file to WAL takes an exclusive lock, and SQLite answers
  // "busy" at once, without its busy timeout, while a second server starting
  // on the same file holds the lock for a moment: that server waits its turn
  // instead of ending.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (true) {
    try {
      connection.exec("PRAGMA journal_mode=WAL");
      return;
    } catch (const StorageError& error) {
      if (error.kind() != StorageError::Kind::busy ||
          std::chrono::steady_clock::now() >= deadline) {
        throw;
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

void SqliteStorage::checkIntegrity() {
  // A damaged file is refused at start, not discovered by a request later.
  auto statement = writer_->prepare("PRAGMA quick_check(1)");
  const std::string verdict = statement.step() ? statement.columnText(0) : "no answer";
  if (verdict != "ok") {
    throw StorageError(StorageError::Kind::unreadable,
                       "the database " + file_.string() + " is damaged: " + verdict);
  }
}

std::uint64_t SqliteStorage::dataVersion() {
  // The watcher's data_version changes with every commit of any other
  // connection: this server's writer, or another process on the same file.
  std::lock_guard lock(watcherMutex_);
  auto statement = watcher_->prepare("PRAGMA data_version");
  return statement.step() ? static_cast<std::uint64_t>(statement.columnInt64(0)) : 0;
}

SqliteStorage::~SqliteStorage() {
  std::lock_guard readers(readersMutex_);
  idleReaders_.clear();
  {
    std::lock_guard watcher(watcherMutex_);
    watcher_.reset();
  }
  std::lock_guard writer(writerMutex_);
  writer_.reset();  // the last connection to close checkpoints the WAL
}

void SqliteStorage::migrate() {
  const auto& scripts = schemaScripts(SchemaEngine::sqlite);
  const int latest = scripts.empty() ? 0 : scripts.back().version;
  int current = 0;
  const auto readVersion = [this] {
    auto statement = writer_->prepare("PRAGMA user_version");
    return statement.step() ? static_cast<int>(statement.columnInt64(0)) : 0;
  };
  const auto refuseIfTooNew = [&](int version) {
    if (version > latest) {
      throw SchemaTooNew(
          "the database " + file_.string() + " has schema version " + std::to_string(version) +
          ", but this vantory-server knows versions up to " + std::to_string(latest) +
          "; run a newer vantory-server or choose another --database");
    }
  };
  current = readVersion();
  refuseIfTooNew(current);
  for (const SchemaScript& script : scripts) {
    if (script.version <= current) {
      continue;
    }
    writer_->exec("BEGIN IMMEDIATE");
    try {
      // Another server may have upgraded the file since it was read above:
      // only what is read under the write lock decides.
      current = readVersion();
      refuseIfTooNew(current);
      if (script.version > current) {
        writer_->exec(script.sql);
        writer_->exec("PRAGMA user_version=" + std::to_string(script.version));
        current = script.version;
      }
      writer_->exec("COMMIT");
    } catch (...) {
      writer_->rollbackQuietly();
      throw;
    }
  }
  schemaVersion_ = std::max(current, latest);
}

std::unique_ptr<SqliteConnection> SqliteStorage::borrow() {
  {
    std::lock_guard lock(readersMutex_);
    if (!idleReaders_.empty()) {
      auto reader = std::move(idleReaders_.back());
      idleReaders_.pop_back();
      return reader;
    }
  }
  auto reader = std::make_unique<SqliteConnection>(file_, true);
  return reader;
}

void SqliteStorage::giveBack(std::unique_ptr<SqliteConnection> reader) {
  std::lock_guard lock(readersMutex_);
  idleReaders_.push_back(std::move(reader));
}

template <typename Work>
auto SqliteStorage::read(Work&& work) {
  Lease lease(*this);
  // One snapshot for the whole call.
  SqliteConnection& db = *lease;
  db.prepare("BEGIN").step();
  try {
    auto result = work(db);
    db.prepare("COMMIT").step();
    return result;
  } catch (...) {
    db.rollbackQuietly();
    throw;
  }
}

template <typename Work>
auto SqliteStorage::readOne(Work&& work) {
  // One statement is its own snapshot: no transaction around it.
  Lease lease(*this);
  return work(*lease);
}

template <typename Work>
auto SqliteStorage::write(Work&& work) {
  if (auto* joined = JoinedWrites<SqliteConnection>::of(this)) {
    return work(*joined);
  }
  return commits_.run(std::forward<Work>(work));
}

std::optional<KeptReply> SqliteStorage::writeOnce(
    const std::string& key, const std::string& fingerprint,
    const std::function<std::optional<KeptReply>()>& write) {
  return commits_.run([&](SqliteConnection& db) -> std::optional<KeptReply> {
    const std::int64_t now = secondsSinceEpoch();
    // The key is taken first, so a second request with it finds it.
    const bool ours = db.prepare(
                            "INSERT INTO idempotency_keys (key, fingerprint, status, reply, "
                            "created_at) VALUES (?1, ?2, 0, '', ?3) ON CONFLICT (key) DO NOTHING "
                            "RETURNING key")
                          .bind(1, key)
                          .bind(2, fingerprint)
                          .bind(3, now)
                          .step();
    if (!ours) {
      auto kept =
          db.prepare("SELECT fingerprint, status, reply FROM idempotency_keys WHERE key = ?1");
      kept.bind(1, key);
      if (kept.step()) {
        return KeptReply{kept.columnText(0), static_cast<int>(kept.columnInt64(1)),
                         kept.columnText(2)};
      }
      return std::nullopt;
    }
    std::optional<KeptReply> reply;
    {
      const JoinedWrites<SqliteConnection> joined(this, db);
      reply = write();
    }
    if (reply) {
      db.prepare("UPDATE idempotency_keys SET status = ?2, reply = ?3 WHERE key = ?1")
          .bind(1, key)
          .bind(2, static_cast<std::int64_t>(reply->status))
          .bind(3, reply->body)
          .step();
    } else {
      db.prepare("DELETE FROM idempotency_keys WHERE key = ?1").bind(1, key).step();
    }
    db.prepare("DELETE FROM idempotency_keys WHERE created_at < ?1")
        .bind(1, now - std::chrono::seconds(kIdempotencyKeyLifetime).count())
        .step();
    return std::nullopt;
  });
}

std::vector<StoreRow> SqliteStorage::listStores() {
  return readOne([](SqliteConnection& db) {
    std::vector<StoreRow> stores;
    auto statement = db.prepare("SELECT id, name, created_by FROM stores ORDER BY id");
    while (statement.step()) {
      stores.push_back(
          {statement.columnInt64(0), statement.columnText(1), statement.columnText(2)});
    }
    return stores;
  });
}

std::vector<ChangeRow> SqliteStorage::changesAfter(std::int64_t after, std::size_t limit) {
  return readOne([after, limit](SqliteConnection& db) {
    std::vector<ChangeRow> changes;
    auto statement = db.prepare(
        "SELECT id, kind, COALESCE(store_id, 0), COALESCE(item_id, 0), COALESCE(record_id, 0) "
        "FROM change_events WHERE id > ?1 ORDER BY id LIMIT ?2");
    statement.bind(1, after).bind(2, static_cast<std::int64_t>(limit));
    while (statement.step()) {
      changes.push_back({statement.columnInt64(0), statement.columnText(1),
                         statement.columnInt64(2), statement.columnInt64(3),
                         statement.columnInt64(4)});
    }
    return changes;
  });
}

Storage::ChangeSpan SqliteStorage::changeSpan() {
  return readOne([](SqliteConnection& db) {
    auto statement =
        db.prepare("SELECT COALESCE(MIN(id), 0), COALESCE(MAX(id), 0) FROM change_events");
    statement.step();
    return ChangeSpan{statement.columnInt64(0), statement.columnInt64(1)};
  });
}

std::int64_t SqliteStorage::addStore(const std::string& name, const std::string& createdBy) {
  return write([&](SqliteConnection& db) {
    db.prepare("INSERT INTO stores (name, created_by) VALUES (?1, ?2)")
        .bind(1, name)
        .bind(2, createdBy)
        .step();
    return db.lastInsertRowid();
  });
}

std::optional<std::vector<ItemRow>> SqliteStorage::listItems(std::int64_t storeId) {
  return read([&](SqliteConnection& db) -> std::optional<std::vector<ItemRow>> {
    if (!exists(db, kStoreExists, storeId)) {
      return std::nullopt;
    }
    static const std::string sql =
        std::string("SELECT ") + kItemColumns + " FROM items i WHERE i.store_id = ?1 ORDER BY i.id";
    auto statement = db.prepare(sql.c_str());
    statement.bind(1, storeId);
    std::vector<ItemRow> items;
    while (statement.step()) {
      items.push_back(readItem(statement));
    }
    return items;
  });
}

std::optional<std::int64_t> SqliteStorage::addItem(std::int64_t storeId, const std::string& name,
                                                   const std::string& description,
                                                   const std::string& price,
                                                   const std::string& postedBy) {
  return write([&](SqliteConnection& db) -> std::optional<std::int64_t> {
    if (!exists(db, kStoreExists, storeId)) {
      return std::nullopt;
    }
    db.prepare(
          "INSERT INTO items (store_id, name, description, price, posted_by) "
          "VALUES (?1, ?2, ?3, ?4, ?5)")
        .bind(1, storeId)
        .bind(2, name)
        .bind(3, description)
        .bind(4, price)
        .bind(5, postedBy)
        .step();
    return db.lastInsertRowid();
  });
}

std::optional<ItemRow> SqliteStorage::getItem(std::int64_t itemId) {
  return readOne([&](SqliteConnection& db) -> std::optional<ItemRow> {
    static const std::string sql =
        std::string("SELECT ") + kItemColumns + " FROM items i WHERE i.id = ?1";
    auto statement = db.prepare(sql.c_str());
    statement.bind(1, itemId);
    if (!statement.step()) {
      return std::nullopt;
    }
    return readItem(statement);
  });
}

bool SqliteStorage::editItem(std::int64_t itemId, const std::string& name,
                             const std::string& description, const std::string& price) {
  return write([&](SqliteConnection& db) {
    if (!exists(db, kItemExists, itemId)) {
      return false;
    }
    db.prepare("UPDATE items SET name = ?2, description = ?3, price = ?4 WHERE id = ?1")
        .bind(1, itemId)
        .bind(2, name)
        .bind(3, description)
        .bind(4, price)
        .step();
    return true;
  });
}

std::optional<std::int64_t> SqliteStorage::addQuantity(const char* insertSql,
                                                       const char* counterSql, std::int64_t itemId,
                                                       const std::string& name, std::int64_t qty) {
  return write([&](SqliteConnection& db) -> std::optional<std::int64_t> {
    if (!exists(db, kItemExists, itemId)) {
      return std::nullopt;
    }
    db.prepare(insertSql).bind(1, itemId).bind(2, name).bind(3, qty).step();
    const std::int64_t id = db.lastInsertRowid();
    db.prepare(counterSql).bind(1, itemId).bind(2, qty).step();
    return id;
  });
}

std::optional<std::int64_t> SqliteStorage::addInterest(std::int64_t itemId, const std::string& name,
                                                       std::int64_t qty) {
  return addQuantity("INSERT INTO interests (item_id, name, qty) VALUES (?1, ?2, ?3)",
                     "UPDATE items SET interested = interested + ?2 WHERE id = ?1", itemId, name,
                     qty);
}

std::optional<std::int64_t> SqliteStorage::addPurchase(std::int64_t itemId, const std::string& name,
                                                       std::int64_t qty) {
  return addQuantity("INSERT INTO purchases (item_id, name, qty) VALUES (?1, ?2, ?3)",
                     "UPDATE items SET bought = bought + ?2 WHERE id = ?1", itemId, name, qty);
}

std::optional<std::vector<QuantityRow>> SqliteStorage::listQuantities(const char* sql,
                                                                      std::int64_t itemId) {
  return read([&](SqliteConnection& db) -> std::optional<std::vector<QuantityRow>> {
    if (!exists(db, kItemExists, itemId)) {
      return std::nullopt;
    }
    auto statement = db.prepare(sql);
    statement.bind(1, itemId);
    std::vector<QuantityRow> rows;
    while (statement.step()) {
      rows.push_back({statement.columnText(0), statement.columnInt64(1), statement.columnInt64(2)});
    }
    return rows;
  });
}

std::optional<std::vector<QuantityRow>> SqliteStorage::listInterests(std::int64_t itemId) {
  return listQuantities("SELECT name, qty, id FROM interests WHERE item_id = ?1 ORDER BY id",
                        itemId);
}

std::optional<std::vector<QuantityRow>> SqliteStorage::listPurchases(std::int64_t itemId) {
  return listQuantities("SELECT name, qty, id FROM purchases WHERE item_id = ?1 ORDER BY id",
                        itemId);
}

namespace {

// Literals: the connection keeps its statements by the SQL's address.
constexpr SqliteStorage::QuantitySql kInterestSql{
    "SELECT item_id, name, qty FROM interests WHERE id = ?1",
    "UPDATE interests SET qty = ?2 WHERE id = ?1", "DELETE FROM interests WHERE id = ?1",
    "UPDATE items SET interested = interested + ?2 WHERE id = ?1"};
constexpr SqliteStorage::QuantitySql kPurchaseSql{
    "SELECT item_id, name, qty FROM purchases WHERE id = ?1",
    "UPDATE purchases SET qty = ?2 WHERE id = ?1", "DELETE FROM purchases WHERE id = ?1",
    "UPDATE items SET bought = bought + ?2 WHERE id = ?1"};

}  // namespace

Correction SqliteStorage::correctQuantity(Quantities records, std::int64_t id,
                                          const std::string& name,
                                          std::optional<std::int64_t> qty) {
  const auto& sql = records == Quantities::interests ? kInterestSql : kPurchaseSql;
  return write([&](SqliteConnection& db) {
    auto record = db.prepare(sql.select);
    record.bind(1, id);
    if (!record.step()) {
      return Correction::unknown;
    }
    const std::int64_t itemId = record.columnInt64(0);
    const std::int64_t before = record.columnInt64(2);
    if (record.columnText(1) != name) {
      return Correction::notYours;
    }
    if (qty) {
      db.prepare(sql.update).bind(1, id).bind(2, *qty).step();
    } else {
      db.prepare(sql.remove).bind(1, id).step();
    }
    db.prepare(sql.count).bind(1, itemId).bind(2, qty.value_or(0) - before).step();
    return Correction::done;
  });
}

Correction SqliteStorage::removeItem(std::int64_t itemId, const std::string& name) {
  return write([&](SqliteConnection& db) {
    auto item = db.prepare("SELECT posted_by FROM items WHERE id = ?1");
    item.bind(1, itemId);
    if (!item.step()) {
      return Correction::unknown;
    }
    if (item.columnText(0) != name) {
      return Correction::notYours;
    }
    auto others = db.prepare(
        "SELECT 1 FROM interests WHERE item_id = ?1 AND name <> ?2 UNION ALL "
        "SELECT 1 FROM purchases WHERE item_id = ?1 AND name <> ?2 LIMIT 1");
    others.bind(1, itemId).bind(2, name);
    if (others.step()) {
      return Correction::othersInvolved;
    }
    db.prepare("DELETE FROM interests WHERE item_id = ?1").bind(1, itemId).step();
    db.prepare("DELETE FROM purchases WHERE item_id = ?1").bind(1, itemId).step();
    db.prepare("DELETE FROM items WHERE id = ?1").bind(1, itemId).step();
    return Correction::done;
  });
}

Correction SqliteStorage::removeStore(std::int64_t storeId, const std::string& name) {
  return write([&](SqliteConnection& db) {
    auto store = db.prepare("SELECT created_by FROM stores WHERE id = ?1");
    store.bind(1, storeId);
    if (!store.step()) {
      return Correction::unknown;
    }
    if (store.columnText(0) != name) {
      return Correction::notYours;
    }
    if (exists(db, "SELECT 1 FROM items WHERE store_id = ?1 LIMIT 1", storeId)) {
      return Correction::hasDeals;
    }
    db.prepare("DELETE FROM stores WHERE id = ?1").bind(1, storeId).step();
    return Correction::done;
  });
}

std::vector<ItemRow> SqliteStorage::search(const std::string& text) {
  // Three characters or more: the trigram index. Shorter texts have no
  // trigram, so they scan (ASCII letters fold case there).
  static const std::string indexed = std::string("SELECT ") + kItemColumns +
                                     ", s.name FROM items_search f"
                                     " JOIN items i ON i.id = f.rowid"
                                     " JOIN stores s ON s.id = i.store_id"
                                     " WHERE items_search MATCH ?1";
  static const std::string scanned = std::string("SELECT ") + kItemColumns +
                                     ", s.name FROM items i JOIN stores s ON s.id = i.store_id"
                                     " WHERE instr(lower(i.name), lower(?1)) > 0"
                                     " OR instr(lower(i.description), lower(?1)) > 0";
  const bool useIndex = Utf8::characterCount(text) >= 3;
  std::vector<ItemRow> items = readOne([&](SqliteConnection& db) {
    auto statement = db.prepare(useIndex ? indexed.c_str() : scanned.c_str());
    statement.bind(1, useIndex ? ftsPhrase(text) : text);
    std::vector<ItemRow> found;
    while (statement.step()) {
      ItemRow item = readItem(statement);
      item.storeName = statement.columnText(8);
      found.push_back(std::move(item));
    }
    return found;
  });
  // Ordered by store name with ASCII letters folded (as COLLATE NOCASE), then
  // store, then deal: sorted here, by a rank per store, which costs far less
  // than SQLite's sort of every matching row by its store's name.
  std::unordered_map<std::int64_t, std::string> names;
  for (const ItemRow& item : items) {
    names.emplace(item.storeId, item.storeName);
  }
  std::vector<std::pair<std::string, std::int64_t>> stores;
  for (auto& [id, name] : names) {
    for (char& c : name) {
      c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    stores.emplace_back(std::move(name), id);
  }
  std::sort(stores.begin(), stores.end());
  std::unordered_map<std::int64_t, std::size_t> rank;
  for (std::size_t i = 0; i < stores.size(); ++i) {
    rank.emplace(stores[i].second, i);
  }
  std::sort(items.begin(), items.end(), [&rank](const ItemRow& a, const ItemRow& b) {
    const std::size_t first = rank[a.storeId];
    const std::size_t second = rank[b.storeId];
    return first != second ? first < second : a.id < b.id;
  });
  return items;
}

}  // namespace vantory::service
