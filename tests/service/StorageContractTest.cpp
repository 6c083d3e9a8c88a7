// What every Storage must do, run against SQLite and against a throwaway
// PostgreSQL cluster: the two must behave alike in every detail.

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>

#include "storage/PgConnection.h"
#include "storage/PostgresStorage.h"
#include "storage/SqliteConnection.h"
#include "storage/SqliteStorage.h"
#include "storage/StorageError.h"
#include "support/PostgresCluster.h"

using namespace vantory::service;

namespace {

enum class Backend { sqlite, postgresql };

class StorageContractTest : public ::testing::TestWithParam<Backend> {
 protected:
  void SetUp() override {
    if (GetParam() == Backend::postgresql) {
      cluster_ = std::make_unique<testsupport::PostgresCluster>();
      if (cluster_->unavailable()) {
        GTEST_SKIP() << *cluster_->unavailable();
      }
    } else {
      directory_ = std::filesystem::temp_directory_path() /
                   ("vantory-contract-" + std::to_string(::getpid()));
      std::filesystem::create_directories(directory_);
    }
    storage_ = open();
  }
  void TearDown() override {
    storage_.reset();
    cluster_.reset();
    if (!directory_.empty()) {
      std::filesystem::remove_all(directory_);
    }
  }

  // Another storage on the same data (as a second server has).
  std::unique_ptr<Storage> open() {
    if (GetParam() == Backend::postgresql) {
      return std::make_unique<PostgresStorage>(
          PostgresStorage::Options{cluster_->url(), 4, std::chrono::seconds(5), {}});
    }
    return std::make_unique<SqliteStorage>(directory_ / "vantory.db");
  }

  std::filesystem::path directory_;
  std::unique_ptr<testsupport::PostgresCluster> cluster_;
  std::unique_ptr<Storage> storage_;
};

TEST_P(StorageContractTest, EveryFieldComesBackAsStoredLongAndNonAsciiText) {
  const std::string accents = "Caf\xC3\xA9 cr\xC3\xA8me \xF0\x9F\x98\x80 \xE4\xB8\xAD\xE6\x96\x87";
  const std::string awkward = "50% off_it \\ \"q\" 'a' [b] & = + %41\ttab\nline";
  const std::string longText(2000, 'x');
  const auto store = storage_->addStore(accents, awkward);
  ASSERT_EQ(store, 1);
  EXPECT_EQ(storage_->addStore("Second", "Bo"), 2);
  const auto stores = storage_->listStores();
  ASSERT_EQ(stores.size(), 2U);
  EXPECT_EQ(stores[0].name, accents);
  EXPECT_EQ(stores[0].createdBy, awkward);

  const auto item = storage_->addItem(store, awkward, longText, "19.99", accents);
  ASSERT_EQ(item, 1);
  auto read = storage_->getItem(*item);
  ASSERT_TRUE(read);
  EXPECT_EQ(read->storeId, store);
  EXPECT_EQ(read->name, awkward);
  EXPECT_EQ(read->description, longText);
  EXPECT_EQ(read->price, "19.99");
  EXPECT_EQ(read->postedBy, accents);
  EXPECT_EQ(read->interested, 0);
  EXPECT_EQ(read->bought, 0);

  // An edit changes the three texts it names and nothing else.
  ASSERT_TRUE(storage_->editItem(*item, "Name2", "Desc2", "0.5"));
  read = storage_->getItem(*item);
  EXPECT_EQ(read->name, "Name2");
  EXPECT_EQ(read->description, "Desc2");
  EXPECT_EQ(read->price, "0.5");
  EXPECT_EQ(read->postedBy, accents);
  const auto listed = storage_->listItems(store);
  ASSERT_TRUE(listed);
  ASSERT_EQ(listed->size(), 1U);
  EXPECT_EQ(listed->front().name, "Name2");
  ASSERT_TRUE(storage_->listItems(2));
  EXPECT_TRUE(storage_->listItems(2)->empty()) << "a store without deals";
}

TEST_P(StorageContractTest, UnknownIdsGiveNothingAndChangeNothing) {
  storage_->addStore("Deli", "Ann");
  storage_->addItem(1, "Milk", "", "1", "Bo");
  const auto version = storage_->dataVersion();
  EXPECT_FALSE(storage_->listItems(9));
  EXPECT_FALSE(storage_->addItem(9, "A", "", "1", "B"));
  EXPECT_FALSE(storage_->getItem(9));
  EXPECT_FALSE(storage_->editItem(9, "A", "", "1"));
  EXPECT_FALSE(storage_->addInterest(9, "A", 1));
  EXPECT_FALSE(storage_->addPurchase(9, "A", 1));
  EXPECT_FALSE(storage_->listInterests(9));
  EXPECT_FALSE(storage_->listPurchases(9));
  EXPECT_EQ(storage_->listItems(1)->size(), 1U);
  EXPECT_EQ(storage_->addItem(1, "Eggs", "", "1", "Bo"), 2) << "no id was used up";
  EXPECT_NE(storage_->dataVersion(), version);
}

TEST_P(StorageContractTest, CountersAreTheSumsOfTheirRecordsAlsoUnderConcurrency) {
  storage_->addStore("Deli", "Ann");
  storage_->addItem(1, "Milk", "", "1", "Bo");
  std::vector<std::thread> writers;
  for (int writer = 0; writer < 4; ++writer) {
    writers.emplace_back([this, writer] {
      for (int i = 0; i < 25; ++i) {
        storage_->addInterest(1, "W" + std::to_string(writer), i % 3 + 1);
        storage_->addPurchase(1, "W" + std::to_string(writer), 1);
      }
    });
  }
  for (auto& writer : writers) {
    writer.join();
  }
  const auto item = storage_->getItem(1);
  const auto interests = storage_->listInterests(1);
  const auto purchases = storage_->listPurchases(1);
  ASSERT_TRUE(item && interests && purchases);
  std::int64_t wanted = 0;
  for (const auto& interest : *interests) {
    wanted += interest.qty;
  }
  EXPECT_EQ(interests->size(), 100U);
  EXPECT_EQ(purchases->size(), 100U);
  EXPECT_EQ(item->interested, wanted);
  EXPECT_EQ(item->bought, 100);
}

TEST_P(StorageContractTest, SearchIsLiteralIgnoresCaseAndKeepsItsOrder) {
  storage_->addStore("zeta", "A");
  storage_->addStore("Alpha", "A");
  storage_->addStore("alpha", "A");
  const auto deal = [this](std::int64_t store, const std::string& name,
                           const std::string& description) {
    storage_->addItem(store, name, description, "1", "B");
  };
  deal(1, "Whole MILK", "");
  deal(2, "Bread", "goes with milk");
  deal(2, "Sale 50% off", "100_percent");
  deal(1, "Caf\xC3\xA9 cr\xC3\xA8me", "");
  deal(3, "Milky Way", "a\\b [x]");
  deal(2, "Quote \"it\"", "");
  const auto found = [this](const std::string& query) {
    std::vector<std::string> names;
    for (const auto& item : storage_->search(query)) {
      names.push_back(item.storeName + "/" + item.name);
    }
    return names;
  };
  using Found = std::vector<std::string>;
  EXPECT_EQ(found("mIlK"), (Found{"Alpha/Bread", "alpha/Milky Way", "zeta/Whole MILK"}))
      << "store names ignoring ASCII case, then store, then deal";
  EXPECT_EQ(found("50%"), Found{"Alpha/Sale 50% off"});
  EXPECT_EQ(found("%"), Found{"Alpha/Sale 50% off"});
  EXPECT_EQ(found("_"), Found{"Alpha/Sale 50% off"});
  EXPECT_EQ(found("0_p"), Found{"Alpha/Sale 50% off"});
  EXPECT_EQ(found("\\b"), Found{"alpha/Milky Way"});
  EXPECT_EQ(found("[x]"), Found{"alpha/Milky Way"});
  EXPECT_EQ(found("\"it\""), Found{"Alpha/Quote \"it\""});
  EXPECT_EQ(found("CAF\xC3\x89"), Found{"zeta/Caf\xC3\xA9 cr\xC3\xA8me"});
  EXPECT_EQ(found("e"), (Found{"Alpha/Bread", "Alpha/Sale 50% off", "Alpha/Quote \"it\"",
                               "zeta/Whole MILK", "zeta/Caf\xC3\xA9 cr\xC3\xA8me"}))
      << "one character, through every name and description";
  EXPECT_EQ(found("nothing"), Found{});
  storage_->editItem(1, "Whole oats", "", "1");
  EXPECT_EQ(found("oats"), Found{"zeta/Whole oats"}) << "edits are found at once";
}

TEST_P(StorageContractTest, ASecondStorageOnTheSameDataSeesEveryCommit) {
  auto other = open();
  const auto before = other->dataVersion();
  storage_->addStore("Deli", "Ann");
  // The other side's version has moved by the time the commit returned.
  auto after = other->dataVersion();
  for (int wait = 0; wait < 100 && after == before; ++wait) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    after = other->dataVersion();
  }
  EXPECT_NE(after, before);
  EXPECT_EQ(other->listStores().size(), 1U);
  other->addItem(1, "Milk", "", "1", "Bo");
  EXPECT_EQ(storage_->getItem(1)->name, "Milk");
}

// A write sent again with its key, one after the other, at once, through a
// second storage on the same data or after a restart: stored once, and each
// resend gets the first reply.
TEST_P(StorageContractTest, AWriteWithAKeyIsStoredOnceWhateverTheResends) {
  const auto store = storage_->addStore("Deli", "Bo");
  const auto item = storage_->addItem(store, "Milk", "", "1", "Bo");
  ASSERT_TRUE(item);
  std::atomic<int> written{0};
  const auto interest = [&](Storage& storage, const std::string& key,
                            const std::string& fingerprint) {
    return storage.writeOnce(key, fingerprint, [&]() -> std::optional<KeptReply> {
      const auto id = storage.addInterest(*item, "Ann", 2);
      ++written;
      return KeptReply{fingerprint, 200, R"({"id":")" + std::to_string(*id) + R"("})"};
    });
  };
  EXPECT_FALSE(interest(*storage_, "key-1", "f1")) << "a new key: written";
  const auto again = interest(*storage_, "key-1", "f1");
  ASSERT_TRUE(again);
  EXPECT_EQ(again->fingerprint, "f1");
  EXPECT_EQ(again->status, 200);
  EXPECT_EQ(again->body, R"({"id":"1"})");
  EXPECT_EQ(interest(*storage_, "key-1", "another request")->fingerprint, "f1")
      << "what the key was used for comes back, for the caller to compare";

  std::vector<std::thread> resends;
  std::atomic<int> repeats{0};
  for (int i = 0; i < 16; ++i) {
    resends.emplace_back([&] { repeats += interest(*storage_, "key-2", "f2") ? 1 : 0; });
  }
  for (auto& resend : resends) {
    resend.join();
  }
  EXPECT_EQ(repeats, 15) << "sixteen at once: one written, fifteen given its reply";

  auto second = open();
  EXPECT_TRUE(interest(*second, "key-2", "f2")) << "another server knows the key";
  second.reset();
  storage_ = open();
  EXPECT_TRUE(interest(*storage_, "key-1", "f1")) << "keys outlive a restart";
  EXPECT_EQ(written, 2);
  EXPECT_EQ(storage_->getItem(*item)->interested, 4);
  EXPECT_EQ(storage_->listInterests(*item)->size(), 2U);

  // A write that keeps no reply (a refusal) leaves the key free.
  EXPECT_FALSE(storage_->writeOnce("key-3", "f3", [] { return std::optional<KeptReply>(); }));
  EXPECT_FALSE(interest(*storage_, "key-3", "f3"));
  EXPECT_EQ(written, 3);
  // A write that fails keeps nothing, not even the key.
  EXPECT_ANY_THROW(storage_->writeOnce("key-4", "f4", [&]() -> std::optional<KeptReply> {
    storage_->addInterest(*item, "Ann", 1);
    throw std::runtime_error("the reply could not be made");
  }));
  EXPECT_FALSE(interest(*storage_, "key-4", "f4"));
  EXPECT_EQ(storage_->getItem(*item)->interested, 8) << "the failed write was undone";
}

// People correct their own records; the counters follow in the same
// transaction, also under concurrent adds and corrections, and nobody
// changes what is someone else's.
TEST_P(StorageContractTest, OwnRecordsAreCorrectedWithTheirCountersAndOthersAreNot) {
  const auto store = storage_->addStore("Deli", "Bo");
  const auto item = *storage_->addItem(store, "Milk", "fresh", "1", "Bo");
  const auto ann = *storage_->addInterest(item, "Ann", 2);
  const auto cy = *storage_->addInterest(item, "Cy", 5);
  const auto annBought = *storage_->addPurchase(item, "Ann", 1);
  EXPECT_EQ(storage_->updateInterest(ann, "Ann", 4), Correction::done);
  EXPECT_EQ(storage_->updateInterest(cy, "Ann", 1), Correction::notYours);
  EXPECT_EQ(storage_->removeInterest(cy, "ann"), Correction::notYours) << "names are exact";
  EXPECT_EQ(storage_->updateInterest(999, "Ann", 1), Correction::unknown);
  EXPECT_EQ(storage_->updatePurchase(cy, "Cy", 1), Correction::unknown)
      << "interests and purchases have ids of their own";
  EXPECT_EQ(storage_->updatePurchase(annBought, "Ann", 3), Correction::done);
  auto read = storage_->getItem(item);
  EXPECT_EQ(read->interested, 9);
  EXPECT_EQ(read->bought, 3);
  EXPECT_EQ(storage_->removeInterest(ann, "Ann"), Correction::done);
  EXPECT_EQ(storage_->removeInterest(ann, "Ann"), Correction::unknown) << "gone";
  EXPECT_EQ(storage_->removePurchase(annBought, "Ann"), Correction::done);
  read = storage_->getItem(item);
  EXPECT_EQ(read->interested, 5);
  EXPECT_EQ(read->bought, 0);
  const auto interests = *storage_->listInterests(item);
  ASSERT_EQ(interests.size(), 1U);
  EXPECT_EQ(interests[0].id, cy);
  EXPECT_EQ(interests[0].name, "Cy");

  // A hundred adds and corrections at once: the counter is still the sum.
  std::vector<std::thread> people;
  for (int person = 0; person < 10; ++person) {
    people.emplace_back([&, person] {
      const std::string name = "P" + std::to_string(person);
      for (int round = 0; round < 5; ++round) {
        const auto id = *storage_->addInterest(item, name, 3);
        storage_->updateInterest(id, name, 1 + round % 3);
        if (round % 2 == 0) {
          storage_->removeInterest(id, name);
        }
      }
    });
  }
  for (auto& person : people) {
    person.join();
  }
  std::int64_t sum = 0;
  const auto rows = storage_->listInterests(item);
  for (const auto& row : *rows) {
    sum += row.qty;
  }
  EXPECT_EQ(storage_->getItem(item)->interested, sum);
  EXPECT_EQ(sum, 5 + 10 * (2 + 1));  // rounds 1 and 3 stay, at 2 and 1

  // A deal others are in cannot be removed, nor a store with deals.
  EXPECT_EQ(storage_->removeItem(item, "Ann"), Correction::notYours);
  EXPECT_EQ(storage_->removeItem(item, "Bo"), Correction::othersInvolved);
  EXPECT_EQ(storage_->removeStore(store, "Bo"), Correction::hasDeals);
  const auto own = *storage_->addItem(store, "Bread", "rye", "2", "Bo");
  storage_->addInterest(own, "Bo", 1);
  storage_->addPurchase(own, "Bo", 1);
  EXPECT_EQ(storage_->removeItem(own, "Bo"), Correction::done) << "its poster's records go with it";
  EXPECT_FALSE(storage_->getItem(own));
  EXPECT_EQ(storage_->listItems(store)->size(), 1U);
  EXPECT_TRUE(storage_->search("rye").empty()) << "gone from search";
  EXPECT_EQ(storage_->removeItem(own, "Bo"), Correction::unknown);

  const auto empty = storage_->addStore("Cafe", "Ann");
  EXPECT_EQ(storage_->removeStore(empty, "Bo"), Correction::notYours);
  EXPECT_EQ(storage_->removeStore(empty, "Ann"), Correction::done);
  EXPECT_EQ(storage_->listStores().size(), 1U);
  EXPECT_FALSE(storage_->listItems(empty));
}

// A database as the previous release left it (schema version 1) is brought
// to the current version at start and keeps every record.
TEST_P(StorageContractTest, ADatabaseOfThePreviousReleaseOpensWithEveryRecord) {
  storage_.reset();
  std::ifstream file(std::string(VANTORY_SOURCE_DIR) + "/service/schema/" +
                     (GetParam() == Backend::postgresql ? "postgresql" : "sqlite") +
                     "/001_initial.sql");
  const std::string version1((std::istreambuf_iterator<char>(file)), {});
  ASSERT_FALSE(version1.empty());
  const std::string records =
      "INSERT INTO stores (name, created_by) VALUES ('Deli', 'Bo');"
      "INSERT INTO items (store_id, name, description, price, posted_by, interested) "
      "VALUES (1, 'Milk', 'fresh', '1.50', 'Bo', 2);"
      "INSERT INTO interests (item_id, name, qty) VALUES (1, 'Ann', 2);";
  if (GetParam() == Backend::postgresql) {
    cluster_.reset();
    cluster_ = std::make_unique<testsupport::PostgresCluster>();
    PgConnection db(cluster_->url(), std::chrono::seconds(5));
    db.exec(version1);
    db.exec(
        "CREATE TABLE vantory_schema (version INTEGER NOT NULL);"
        "INSERT INTO vantory_schema VALUES (1);" +
        records);
  } else {
    std::filesystem::remove(directory_ / "vantory.db");
    SqliteConnection db(directory_ / "vantory.db", false);
    db.exec(version1);
    db.exec("PRAGMA user_version=1;" + records);
  }
  storage_ = open();
  const auto item = storage_->getItem(1);
  ASSERT_TRUE(item);
  EXPECT_EQ(item->name, "Milk");
  EXPECT_EQ(item->interested, 2);
  EXPECT_EQ(storage_->listInterests(1)->at(0).name, "Ann");
  EXPECT_EQ(storage_->search("mil").size(), 1U);
  EXPECT_FALSE(storage_->writeOnce("k", "f", [] { return std::optional<KeptReply>(); }))
      << "the new table is there";
  EXPECT_EQ(storage_->updateInterest(1, "Ann", 3), Correction::done);
  EXPECT_EQ(storage_->getItem(1)->interested, 3);
}

TEST_P(StorageContractTest, ChangesAreListedOldestFirstAndTheNewestTenThousandAreKept) {
  const std::int64_t store = storage_->addStore("Deli", "Bo");
  const std::int64_t item = storage_->addItem(store, "Milk", "fresh", "1", "Bo").value();
  const std::int64_t interest = storage_->addInterest(item, "Ann", 2).value();
  ASSERT_FALSE(storage_->addInterest(item + 1, "Ann", 2)) << "no such deal: no change either";
  const auto changes = storage_->changesAfter(0, 10);
  ASSERT_EQ(changes.size(), 3U);
  EXPECT_EQ(changes[0].kind, "storeAdded");
  EXPECT_EQ(changes[0].storeId, store);
  EXPECT_EQ(changes[1].kind, "dealAdded");
  EXPECT_EQ(changes[1].itemId, item);
  EXPECT_EQ(changes[2].kind, "interestAdded");
  EXPECT_EQ(changes[2].recordId, interest);
  EXPECT_EQ(storage_->changesAfter(changes[0].id, 1).at(0).id, changes[1].id);

  // Many changes at once, as a long day of writes leaves them.
  const std::string manyStores =
      "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 10400) "
      "INSERT INTO stores (name, created_by) SELECT 'Store', 'Bo' FROM n";
  if (GetParam() == Backend::postgresql) {
    cluster_->sql(manyStores);
  } else {
    SqliteConnection(directory_ / "vantory.db", false).exec(manyStores);
  }
  const auto span = storage_->changeSpan();
  const auto kept = storage_->changesAfter(0, 20000);
  ASSERT_FALSE(kept.empty());
  EXPECT_EQ(span.newest, changes[2].id + 10400);
  EXPECT_EQ(kept.back().id, span.newest);
  EXPECT_EQ(kept.front().id, span.oldest);
  // Pruned now and then rather than at every change: never fewer than the
  // newest 10,000, and never many more.
  EXPECT_GE(kept.size(), static_cast<std::size_t>(Storage::kKeptChanges));
  EXPECT_LT(kept.size(), static_cast<std::size_t>(Storage::kKeptChanges) + 256);
}

INSTANTIATE_TEST_SUITE_P(Backends, StorageContractTest,
                         ::testing::Values(Backend::sqlite, Backend::postgresql),
                         [](const ::testing::TestParamInfo<Backend>& instance) {
                           return instance.param == Backend::sqlite ? "SQLite" : "PostgreSQL";
                         });

TEST(PostgresStorage, ASchemaFromANewerServerIsRefused) {
  testsupport::PostgresCluster cluster;
  if (cluster.unavailable()) {
    GTEST_SKIP() << *cluster.unavailable();
  }
  { PostgresStorage first({cluster.url(), 2, std::chrono::seconds(5), {}}); }
  cluster.sql("UPDATE vantory_schema SET version = 99");
  try {
    PostgresStorage newer({cluster.url(), 2, std::chrono::seconds(5), {}});
    FAIL() << "a newer schema was accepted";
  } catch (const SchemaTooNew& error) {
    EXPECT_NE(std::string(error.what()).find("schema version 99"), std::string::npos);
    EXPECT_NE(std::string(error.what()).find("newer vantory-server"), std::string::npos);
  }
}

TEST(PostgresStorage,
     AValueThatIsNotAWholeNumberIsAnErrorNotAZeroAndAFailedTransactionLeavesNothing) {
  testsupport::PostgresCluster cluster;
  if (cluster.unavailable()) {
    GTEST_SKIP() << *cluster.unavailable();
  }
  PgConnection connection(cluster.url(), std::chrono::seconds(5));
  const std::vector<std::pair<const char*, const char*>> notNumbers = {
      {"letters", "SELECT '12abc'"},
      {"fraction", "SELECT '1.5'"},
      {"beyond", "SELECT '99999999999999999999'"},
      {"null", "SELECT NULL"},
      {"empty", "SELECT ''"}};
  for (const auto& [name, sql] : notNumbers) {
    const auto rows = connection.run(name, sql, {});
    EXPECT_THROW(rows.integer(0, 0), StorageError) << sql;
  }
  EXPECT_EQ(connection.run("negative", "SELECT -42", {}).integer(0, 0), -42);

  connection.exec("CREATE TABLE kept (n INTEGER)");
  try {
    PgConnection::Transaction transaction(connection);
    connection.exec("INSERT INTO kept VALUES (1)");
    throw std::runtime_error("a failure before the commit");
  } catch (const std::runtime_error&) {
  }
  EXPECT_EQ(connection.run("count", "SELECT count(*) FROM kept", {}).integer(0, 0), 0);
  {
    PgConnection::Transaction transaction(connection);
    connection.exec("INSERT INTO kept VALUES (2)");
    transaction.commit();
  }
  EXPECT_EQ(connection.run("count", "SELECT count(*) FROM kept", {}).integer(0, 0), 1);
}

}  // namespace
