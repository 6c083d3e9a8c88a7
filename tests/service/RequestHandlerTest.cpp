#include <gtest/gtest.h>

#include "ServiceFixture.h"
#include "storage/SqliteConnection.h"
#include "storage/StorageError.h"

#include <atomic>
#include <thread>
#include <tuple>

using nlohmann::json;
using testsupport::ServiceFixture;

namespace {

class RequestHandlerTest : public ServiceFixture {};

// Every value of every object in the reply is text.
void expectAllStrings(const json& value) {
  if (value.is_object()) {
    for (const auto& [key, member] : value.items()) {
      if (member.is_array()) {
        for (const auto& element : member) {
          for (const auto& [k, v] : element.items()) {
            EXPECT_TRUE(v.is_string()) << key << "." << k << " in " << value.dump();
          }
        }
      } else {
        EXPECT_TRUE(member.is_string()) << key << " in " << value.dump();
      }
    }
  }
}

TEST_F(RequestHandlerTest, EveryEndpointAnswersItsShapeWithTextValues) {
  EXPECT_EQ(replyOf(get("getListOfStores.php")), json::parse(R"({"Stores":[]})"));
  const std::string store = add("addStore.php", R"(store={"name":"Deli","created":"Ann Lee"})");
  EXPECT_EQ(store, "1");
  const std::string item =
      add("addItem.php",
          R"(item={"storeId":"1","name":"Milk","description":"2 l","price":"1.50","posted":"Bo"})");
  add("addInterested.php", R"(interested={"itemId":"1","name":"Cy","qty":"3"})");
  add("addBuy.php", R"(buy={"itemId":"1","name":"Di","qty":"1"})");

  const std::vector<std::pair<json, json>> expectations = {
      {replyOf(get("getListOfStores.php")),
       json::parse(R"({"Stores":[{"id":"1","name":"Deli","created_by":"Ann Lee"}]})")},
      {replyOf(get("getListOfItems.php", "store_id=1")),
       json::parse(R"({"Items":[{"id":"1","name":"Milk","description":"2 l","price":"1.50",
                      "posted_by":"Bo","interested":"3","bought":"1"}]})")},
      {replyOf(get("getItemById.php", "item_id=1")),
       json::parse(R"({"Items":[{"id":"1","name":"Milk","description":"2 l","price":"1.50",
                      "posted_by":"Bo","interested":"3","bought":"1"}]})")},
      {replyOf(get("getInterested.php", "item_id=1")),
       json::parse(R"({"Interested":[{"id":"1","name":"Cy","qty":"3"}]})")},
      {replyOf(get("getBought.php", "item_id=1")),
       json::parse(R"({"Bought":[{"id":"1","name":"Di","qty":"1"}]})")},
      {replyOf(post("searchItem.php", R"(search={"query":"milk"})")),
       json::parse(R"({"Results":[{"id":"1","name":"Milk","description":"2 l","price":"1.50",
                      "posted_by":"Bo","interested":"3","bought":"1","store_name":"Deli"}]})")},
      {replyOf(post("editItem.php",
                    R"(item={"itemId":"1","name":"Oat milk","description":"","price":"2"})")),
       json::parse(R"({"status":"ok","id":"1"})")},
  };
  for (const auto& [actual, expected] : expectations) {
    EXPECT_EQ(actual, expected);
    expectAllStrings(actual);
  }
  EXPECT_EQ(item, "1");
  EXPECT_EQ(replyOf(get("getItemById.php", "item_id=1"))["Items"][0]["name"], "Oat milk");
}

TEST_F(RequestHandlerTest, RawBodiesAreStoredExactly) {
  const std::string name = "Caf\xC3\xA9 & Co + 100% = \\\"best\\\" \xF0\x9F\x98\x80";
  // As the app sends it: the JSON text right after "store=", nothing form-encoded.
  add("addStore.php",
      R"(store={"name":"Caf\u00e9 & Co + 100% = \\\"best\\\" \ud83d\ude00","created":"Jo=Jo&"})");
  const json stores = replyOf(get("getListOfStores.php"))["Stores"];
  ASSERT_EQ(stores.size(), 1U);
  EXPECT_EQ(stores[0]["name"], name);
  EXPECT_EQ(stores[0]["created_by"], "Jo=Jo&");

  // Line breaks and tabs come back escaped as JSON requires.
  add("addStore.php", R"(store={"name":"line\nbreak\ttab","created":"Al"})");
  EXPECT_EQ(replyOf(get("getListOfStores.php"))["Stores"][1]["name"], "line\nbreak\ttab");

  // A client that form-encodes its body is understood too.
  add("addStore.php", "store=%7B%22name%22%3A%22Fish+%26+Chips%22%2C%22created%22%3A%22Al%22%7D");
  EXPECT_EQ(replyOf(get("getListOfStores.php"))["Stores"][2]["name"], "Fish & Chips");

  // Raw JSON is read raw first: its "+" stays a plus. Names are limited in
  // characters, not bytes (150 "é" are 300 bytes).
  add("addStore.php", R"(store={"name":"C++ Club","created":"Al"})");
  EXPECT_EQ(replyOf(get("getListOfStores.php"))["Stores"][3]["name"], "C++ Club");
  std::string accents;
  for (int i = 0; i < 150; ++i) {
    accents += "\xC3\xA9";
  }
  add("addStore.php", R"(store={"name":")" + accents + R"(","created":"Al"})");
  EXPECT_EQ(replyOf(get("getListOfStores.php"))["Stores"][4]["name"], accents);
}

TEST_F(RequestHandlerTest, BadInputIsRefusedWithAReasonAndStoresNothing) {
  addDeliWithMilk();
  const std::string longName(201, 'x');
  const std::string tooLongDescription(2001, 'y');
  struct Case {
    std::string method, endpoint, payload;
    int status;
  };
  const std::vector<Case> cases = {
      {"GET", "nothing.php", "", 404},
      {"POST", "getListOfStores.php", "", 405},
      {"GET", "addStore.php", "", 405},
      {"GET", "getListOfItems.php", "", 400},
      {"GET", "getListOfItems.php", "store_id=", 400},
      {"GET", "getListOfItems.php", "store_id=abc", 400},
      {"GET", "getListOfItems.php", "item_id=1", 400},
      {"GET", "getListOfItems.php", "store_id=99", 404},
      {"GET", "getItemById.php", "item_id=99", 404},
      {"GET", "getInterested.php", "item_id=99", 404},
      {"GET", "getBought.php", "item_id=99999999999999999999", 400},
      {"POST", "addStore.php", "", 400},
      {"POST", "addStore.php", "store=", 400},
      {"POST", "addStore.php", R"(shop={"name":"A","created":"B"})", 400},
      {"POST", "addStore.php", R"(store=["name"])", 400},
      {"POST", "addStore.php", R"(store={"name":"A"})", 400},
      {"POST", "addStore.php", R"(store={"name":5,"created":"B"})", 400},
      {"POST", "addStore.php", "store={\"name\":\"A\xFF\",\"created\":\"B\"}", 400},
      {"POST", "addStore.php", R"(store={"name":"   ","created":"B"})", 400},
      {"POST", "addStore.php", R"(store={"name":"A","created":" "})", 400},
      {"POST", "addStore.php", R"(store={"name":")" + longName + R"(","created":"B"})", 400},
      {"POST", "addItem.php",
       R"(item={"storeId":"7","name":"A","description":"","price":"1","posted":"B"})", 404},
      {"POST", "addItem.php",
       R"(item={"storeId":"1","name":"A","description":"","price":"-1","posted":"B"})", 400},
      {"POST", "addItem.php",
       R"(item={"storeId":"1","name":"A","description":"","price":"abc","posted":"B"})", 400},
      {"POST", "addItem.php",
       R"(item={"storeId":"1","name":"A","description":"","price":"1.2.3","posted":"B"})", 400},
      {"POST", "addItem.php",
       R"(item={"storeId":"1","name":"A","description":"","price":"inf","posted":"B"})", 400},
      {"POST", "addItem.php",
       R"(item={"storeId":"1","name":"A","description":")" + tooLongDescription +
           R"(","price":"1","posted":"B"})",
       400},
      {"POST", "editItem.php", R"(item={"itemId":"9","name":"A","description":"","price":"1"})",
       404},
      {"POST", "editItem.php", R"(item={"itemId":"1","name":"","description":"","price":"1"})",
       400},
      {"POST", "addInterested.php", R"(interested={"itemId":"1","name":"A","qty":"0"})", 400},
      {"POST", "addInterested.php", R"(interested={"itemId":"1","name":"A","qty":"1000001"})", 400},
      {"POST", "addInterested.php", R"(interested={"itemId":"1","name":"A","qty":"2.5"})", 400},
      {"POST", "addInterested.php", R"(interested={"itemId":"1","name":"A","qty":"three"})", 400},
      {"POST", "addBuy.php", R"(buy={"itemId":"2","name":"A","qty":"1"})", 404},
      {"POST", "addBuy.php", R"(buy={"itemId":"1","qty":"1"})", 400},
      {"POST", "searchItem.php", R"(search={"query":""})", 400},
      {"POST", "searchItem.php", R"(search={"text":"milk"})", 400},
      {"POST", "updateInterested.php", R"(interested={"id":"1","name":"A"})", 400},
      {"POST", "updateInterested.php", R"(interested={"id":"x","name":"A","qty":"1"})", 400},
      {"POST", "updateInterested.php", R"(interested={"id":"1","name":"A","qty":"0"})", 400},
      {"POST", "updateInterested.php", R"(interested={"id":"9","name":"A","qty":"1"})", 404},
      {"POST", "removeInterested.php", R"(interested={"id":1,"name":"A"})", 400},
      {"POST", "removeInterested.php", R"(buy={"id":"1","name":"A"})", 400},
      {"POST", "updateBuy.php", R"(buy={"id":"1","name":["A"],"qty":"1"})", 400},
      {"POST", "removeBuy.php", R"(buy={"id":"9","name":"A"})", 404},
      {"POST", "removeItem.php", R"(item={"itemId":"1"})", 400},
      {"POST", "removeItem.php", R"(item={"itemId":"9","name":"Bo"})", 404},
      {"POST", "removeStore.php", R"(store={"storeId":"1","name":"  "})", 400},
      {"POST", "removeStore.php", R"(store={"storeId":"9","name":"Ann"})", 404},
      {"GET", "removeStore.php", "", 405},
  };
  for (const auto& c : cases) {
    const auto reply = c.method == "GET"
                           ? get(c.endpoint, c.payload)
                           : handler_->handle({c.method, "/kelvane/qx/" + c.endpoint, c.payload});
    EXPECT_EQ(reply.status, c.status) << c.method << " " << c.endpoint << " " << c.payload;
    ASSERT_TRUE(reply.body.contains("error")) << c.endpoint << " " << c.payload;
    EXPECT_GT(reply.body["error"].get<std::string>().size(), 10U);
  }
  EXPECT_EQ(replyOf(get("getListOfStores.php"))["Stores"].size(), 1U);
  const json item = replyOf(get("getItemById.php", "item_id=1"))["Items"][0];
  EXPECT_EQ(item["name"], "Milk");
  EXPECT_EQ(item["interested"], "0");
  EXPECT_EQ(item["bought"], "0");
  EXPECT_EQ(replyOf(get("getListOfItems.php", "store_id=1"))["Items"].size(), 1U);
  EXPECT_EQ(handler_->handle({"GET", "/elsewhere", ""}).status, 404);

  // What a person typed is named as they saw it, not by its key on the wire.
  const std::vector<std::pair<std::string, std::string>> said = {
      {R"(store={"name":")" + longName + R"(","created":"B"})",
       "Store Name is longer than 200 characters; shorten it."},
      {R"(store={"name":"  ","created":"B"})", "Store Name can't be blank."},
  };
  for (const auto& [body, message] : said) {
    EXPECT_EQ(replyOf(post("addStore.php", body))["error"], message);
  }
  EXPECT_EQ(replyOf(post("addInterested.php",
                         R"(interested={"itemId":"1","name":"A","qty":"1000001"})"))["error"],
            "Quantity must be a whole number from 1 to 1,000,000.");
  EXPECT_EQ(
      replyOf(post(
          "addItem.php",
          R"(item={"storeId":"1","name":"A","description":"","price":"x","posted":"B"})"))["error"],
      "Price must be a number of 0 or more written with digits, such as 19.99.");
  EXPECT_EQ(replyOf(post("addItem.php", R"(item={"storeId":"1","name":"A","description":")" +
                                            tooLongDescription +
                                            R"(","price":"1","posted":"B"})"))["error"],
            "Description is longer than 2,000 characters; shorten it.");
}

TEST_F(RequestHandlerTest, CountersAreTheSumsOfTheirRecordsAndFailWithThem) {
  addDeliWithMilk();
  add("addItem.php",
      R"(item={"storeId":"1","name":"Eggs","description":"","price":"1","posted":"Bo"})");
  for (const char* qty : {"1", "2", "1000000", "007"}) {
    add("addInterested.php",
        std::string(R"(interested={"itemId":"1","name":"A","qty":")") + qty + "\"}");
  }
  add("addBuy.php", R"(buy={"itemId":"1","name":"A","qty":"5"})");
  add("addBuy.php", R"(buy={"itemId":"1","name":"A","qty":"1000000"})");
  add("addBuy.php", R"(buy={"itemId":"2","name":"A","qty":"4"})");
  json items = replyOf(get("getListOfItems.php", "store_id=1"))["Items"];
  EXPECT_EQ(items[0]["interested"], "1000010");
  EXPECT_EQ(items[0]["bought"], "1000005");
  EXPECT_EQ(items[1]["interested"], "0");
  EXPECT_EQ(items[1]["bought"], "4");
  EXPECT_EQ(replyOf(get("getInterested.php", "item_id=1"))["Interested"][3]["qty"], "7");

  // A counter that cannot be written (a planted trigger refuses a step of 13)
  // takes its record with it: sent alone, or among writes committed together.
  vantory::service::SqliteConnection(database(), false)
      .exec(
          "CREATE TRIGGER planted BEFORE UPDATE ON items"
          " WHEN NEW.interested - OLD.interested = 13 OR NEW.bought - OLD.bought = 13"
          " BEGIN SELECT RAISE(ABORT, 'planted failure'); END");
  EXPECT_EQ(post("addBuy.php", R"(buy={"itemId":"2","name":"Z","qty":"13"})").status, 500);
  std::vector<std::thread> writers;
  for (int i = 0; i < 16; ++i) {
    writers.emplace_back([this, i] {
      post("addInterested.php", std::string(R"(interested={"itemId":"2","name":"Z","qty":")") +
                                    (i % 2 == 0 ? "1" : "13") + "\"}");
    });
  }
  for (auto& writer : writers) {
    writer.join();
  }
  items = replyOf(get("getListOfItems.php", "store_id=1"))["Items"];
  EXPECT_EQ(items[1]["interested"], "8");
  EXPECT_EQ(items[1]["bought"], "4");
  EXPECT_EQ(replyOf(get("getInterested.php", "item_id=2"))["Interested"].size(), 8U);
  EXPECT_EQ(replyOf(get("getBought.php", "item_id=2"))["Bought"].size(), 1U);
}

TEST_F(RequestHandlerTest, SearchMatchesSubstringsIgnoringCaseWithLiteralCharacters) {
  add("addStore.php", R"(store={"name":"zeta","created":"A"})");
  add("addStore.php", R"(store={"name":"Alpha","created":"A"})");
  const auto addItem = [this](const std::string& store, const std::string& name,
                              const std::string& description) {
    add("addItem.php", R"(item={"storeId":")" + store + R"(","name":")" + name +
                           R"(","description":")" + description + R"(","price":"1","posted":"B"})");
  };
  addItem("1", "Whole MILK", "");
  addItem("2", "Bread", "goes with milk");
  addItem("2", "Sale 50% off", "100_percent");
  addItem("1", "Caf\u00e9 cr\u00e8me", "");
  addItem("2", "Milky Way", "");

  const auto search = [this](const std::string& query) {
    std::vector<std::string> found;
    const json results = replyOf(
        post("searchItem.php", R"(search={"query":)" + json(query).dump() + "}"))["Results"];
    for (const auto& result : results) {
      found.push_back(result["store_name"].get<std::string>() + "/" +
                      result["name"].get<std::string>());
    }
    return found;
  };
  using Found = std::vector<std::string>;
  EXPECT_EQ(search("mIlK"), (Found{"Alpha/Bread", "Alpha/Milky Way", "zeta/Whole MILK"}))
      << "store by name, then deal";
  EXPECT_EQ(search("GO"), Found{"Alpha/Bread"}) << "a short query, in a description";
  EXPECT_EQ(search("50%"), Found{"Alpha/Sale 50% off"});
  EXPECT_EQ(search("%"), Found{"Alpha/Sale 50% off"}) << "short queries scan, still literal";
  EXPECT_EQ(search("0_p"), Found{"Alpha/Sale 50% off"});
  EXPECT_EQ(search("_"), Found{"Alpha/Sale 50% off"});
  EXPECT_EQ(search("CAF\u00c9"), Found{"zeta/Caf\u00e9 cr\u00e8me"});
  EXPECT_EQ(search("\"x"), Found{});
  EXPECT_EQ(search("nothing here"), Found{});

  // Edits are searchable at once; the old words are not.
  post("editItem.php", R"(item={"itemId":"1","name":"Whole oats","description":"","price":"1"})");
  EXPECT_EQ(search("milk"), (Found{"Alpha/Bread", "Alpha/Milky Way"}));
  EXPECT_EQ(search("oats"), Found{"zeta/Whole oats"});
}

// A storage whose every call fails as the storage itself can.
class FailingStorage : public vantory::service::Storage {
 public:
  using Kind = vantory::service::StorageError::Kind;
  explicit FailingStorage(Kind kind) : kind_(kind) {}

  [[noreturn]] void fail() const {
    throw vantory::service::StorageError(kind_, "disk I/O error (SQLite code 266, /srv/v.db)");
  }
  std::vector<vantory::service::StoreRow> listStores() override { fail(); }
  std::int64_t addStore(const std::string&, const std::string&) override { fail(); }
  std::optional<std::vector<vantory::service::ItemRow>> listItems(std::int64_t) override { fail(); }
  std::optional<std::int64_t> addItem(std::int64_t, const std::string&, const std::string&,
                                      const std::string&, const std::string&) override {
    fail();
  }
  std::optional<vantory::service::ItemRow> getItem(std::int64_t) override { fail(); }
  bool editItem(std::int64_t, const std::string&, const std::string&, const std::string&) override {
    fail();
  }
  std::optional<std::int64_t> addInterest(std::int64_t, const std::string&, std::int64_t) override {
    fail();
  }
  std::optional<std::int64_t> addPurchase(std::int64_t, const std::string&, std::int64_t) override {
    fail();
  }
  std::optional<std::vector<vantory::service::QuantityRow>> listInterests(std::int64_t) override {
    fail();
  }
  std::optional<std::vector<vantory::service::QuantityRow>> listPurchases(std::int64_t) override {
    fail();
  }
  std::vector<vantory::service::ItemRow> search(const std::string&) override { fail(); }
  vantory::service::Correction correctQuantity(Quantities, std::int64_t, const std::string&,
                                               std::optional<std::int64_t>) override {
    fail();
  }
  vantory::service::Correction removeItem(std::int64_t, const std::string&) override { fail(); }
  vantory::service::Correction removeStore(std::int64_t, const std::string&) override { fail(); }
  std::optional<vantory::service::KeptReply> writeOnce(
      const std::string&, const std::string&,
      const std::function<std::optional<vantory::service::KeptReply>()>&) override {
    fail();
  }
  std::vector<vantory::service::ChangeRow> changesAfter(std::int64_t, std::size_t) override {
    fail();
  }
  ChangeSpan changeSpan() override { fail(); }
  std::uint64_t dataVersion() override { fail(); }

 private:
  Kind kind_;
};

TEST(StorageFailures, ReplySayWhatKindOfFailureAndKeepTheCauseForTheLog) {
  using Kind = FailingStorage::Kind;
  const std::vector<std::tuple<Kind, int, std::string>> kinds = {
      {Kind::full, 500, "The service's storage is full, so nothing was stored."},
      {Kind::unreadable, 500, "The service's storage cannot be read."},
      {Kind::readOnly, 500, "The service's storage cannot be written to."},
      {Kind::busy, 503, "The service is busy; try again shortly."},
      {Kind::unavailable, 503, "The service's database cannot be reached; try again shortly."},
      {Kind::failed, 500, "The service could not complete the request; try again shortly."},
  };
  for (const auto& [kind, status, message] : kinds) {
    FailingStorage storage(kind);
    vantory::service::RequestHandler handler(storage);
    for (const vantory::service::ApiRequest& request : std::vector<vantory::service::ApiRequest>{
             {"GET", "/kelvane/qx/getListOfStores.php?", ""},
             {"POST", "/kelvane/qx/addStore.php", R"(store={"name":"A","created":"B"})"},
             {"GET", "/kelvane/qx/getItemById.php?item_id=1", ""}}) {
      const auto reply = handler.handle(request);
      EXPECT_EQ(reply.status, status) << message;
      EXPECT_EQ(json::parse(reply.serializedBody()), json({{"error", message}}));
      EXPECT_EQ(reply.cause, "disk I/O error (SQLite code 266, /srv/v.db)")
          << "the cause is for the log";
    }
  }
}

TEST_F(RequestHandlerTest, KeptRepliesAreNeverStaleAndAreTheFreshRepliesByteForByte) {
  addDeliWithMilk();
  // A second handler on the same storage keeps nothing yet: its replies are
  // built afresh.
  const auto fresh = [this](const std::string& endpoint, const std::string& query) {
    vantory::service::RequestHandler other(*storage_);
    return other.handle({"GET", "/kelvane/qx/" + endpoint + "?" + query, ""}).serializedBody();
  };
  const auto expectFresh = [&](const std::string& after) {
    EXPECT_EQ(get("getListOfItems.php", "store_id=1").serializedBody(),
              fresh("getListOfItems.php", "store_id=1"))
        << "after " << after;
    EXPECT_EQ(get("getListOfStores.php").serializedBody(), fresh("getListOfStores.php", ""))
        << "after " << after;
  };
  expectFresh("the first read");
  expectFresh("a second read, from what was kept");
  post("editItem.php", R"(item={"itemId":"1","name":"Oat milk","description":"d","price":"2"})");
  expectFresh("an edit");
  EXPECT_EQ(replyOf(get("getListOfItems.php", "store_id=1"))["Items"][0]["name"], "Oat milk");
  post("addInterested.php", R"(interested={"itemId":"1","name":"Cy","qty":"3"})");
  expectFresh("an interest");
  EXPECT_EQ(replyOf(get("getListOfItems.php", "store_id=1"))["Items"][0]["interested"], "3");
  post("addBuy.php", R"(buy={"itemId":"1","name":"Cy","qty":"2"})");
  expectFresh("a purchase");
  EXPECT_EQ(replyOf(get("getListOfItems.php", "store_id=1"))["Items"][0]["bought"], "2");
  add("addItem.php",
      R"(item={"storeId":"1","name":"Eggs","description":"","price":"1","posted":"Bo"})");
  expectFresh("a new deal");
  EXPECT_EQ(replyOf(get("getListOfItems.php", "store_id=1"))["Items"].size(), 2U);
  EXPECT_EQ(replyOf(post("searchItem.php", R"(search={"query":"oat"})"))["Results"][0]["bought"],
            "2");
  add("addStore.php", R"(store={"name":"Bakery","created":"Ann"})");
  expectFresh("a new store");
  // Each store's deals are kept apart: the new store's list is its own.
  EXPECT_EQ(replyOf(get("getListOfItems.php", "store_id=1"))["Items"].size(), 2U);
  EXPECT_EQ(replyOf(get("getListOfItems.php", "store_id=2"))["Items"].size(), 0U);
  EXPECT_EQ(replyOf(get("getListOfItems.php", "store_id=1"))["Items"].size(), 2U);

  // Many clients adding and listing at once: a list asked for after an add
  // was acknowledged always holds that store.
  std::atomic<int> stale{0};
  std::vector<std::thread> clients;
  for (int t = 0; t < 8; ++t) {
    clients.emplace_back([this, t, &stale] {
      for (int i = 0; i < 25; ++i) {
        const std::string name = "S" + std::to_string(t) + "-" + std::to_string(i);
        add("addStore.php", R"(store={"name":")" + name + R"(","created":"Ann"})");
        if (get("getListOfStores.php").serializedBody().find('"' + name + '"') ==
            std::string::npos) {
          ++stale;
        }
      }
    });
  }
  for (auto& client : clients) {
    client.join();
  }
  EXPECT_EQ(stale.load(), 0);
}

TEST_F(RequestHandlerTest, AnIdempotencyKeyMakesEachWriteHappenOnce) {
  addDeliWithMilk();
  const auto send = [this](const std::string& endpoint, const std::string& body,
                           const std::string& key) {
    return handler_->handle({"POST", "/kelvane/qx/" + endpoint, body, key});
  };
  const std::string interest = R"(interested={"itemId":"1","name":"Ann","qty":"2"})";
  const auto first = send("addInterested.php", interest, "3f2a9c");
  ASSERT_EQ(first.status, 200) << first.serializedBody();
  const auto resent = send("addInterested.php", interest, "3f2a9c");
  EXPECT_EQ(resent.status, 200);
  EXPECT_EQ(resent.serializedBody(), first.serializedBody()) << "the first reply, again";
  EXPECT_EQ(replyOf(get("getItemById.php", "item_id=1"))["Items"][0]["interested"], "2");

  const auto other =
      send("addInterested.php", R"(interested={"itemId":"1","name":"Ann","qty":"3"})", "3f2a9c");
  EXPECT_EQ(other.status, 422);
  EXPECT_NE(replyOf(other)["error"].get<std::string>().find("already used"), std::string::npos);
  EXPECT_EQ(send("addBuy.php", R"(buy={"itemId":"1","name":"Ann","qty":"2"})", "3f2a9c").status,
            422)
      << "nor on another endpoint";

  // Every write takes a key; a refusal keeps none, so the corrected resend goes through.
  for (const auto& [endpoint, body] : std::vector<std::pair<std::string, std::string>>{
           {"addStore.php", R"(store={"name":"Bakery","created":"Ann"})"},
           {"addItem.php",
            R"(item={"storeId":"1","name":"Oat","description":"","price":"2","posted":"Bo"})"},
           {"editItem.php", R"(item={"itemId":"1","name":"Milk 2","description":"","price":"3"})"},
           {"addBuy.php", R"(buy={"itemId":"1","name":"Ann","qty":"1"})"}}) {
    const auto once = send(endpoint, body, "key-" + endpoint);
    EXPECT_EQ(once.status, 200) << endpoint << once.serializedBody();
    EXPECT_EQ(send(endpoint, body, "key-" + endpoint).serializedBody(), once.serializedBody());
  }
  EXPECT_EQ(replyOf(get("getListOfStores.php"))["Stores"].size(), 2U);
  EXPECT_EQ(replyOf(get("getListOfItems.php", "store_id=1"))["Items"].size(), 2U);
  EXPECT_EQ(replyOf(get("getItemById.php", "item_id=1"))["Items"][0]["bought"], "1");
  EXPECT_EQ(send("addBuy.php", R"(buy={"itemId":"1","name":"Ann","qty":"0"})", "k-refused").status,
            400);
  EXPECT_EQ(send("addBuy.php", R"(buy={"itemId":"1","name":"Ann","qty":"5"})", "k-refused").status,
            200)
      << "a refused request kept nothing under its key";

  for (const std::string& hostile : {std::string(256, 'k'), std::string("a\x01b"),
                                     std::string("\xC3\xA9"), std::string("a b")}) {
    const auto refused = send("addStore.php", R"(store={"name":"X","created":"Ann"})", hostile);
    EXPECT_EQ(refused.status, 400) << hostile.substr(0, 20);
    EXPECT_TRUE(replyOf(refused)["error"].is_string());
  }
  // A search reads: its key changes nothing.
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(send("searchItem.php", R"(search={"query":"milk"})", "search-key").status, 200);
  }
  EXPECT_EQ(replyOf(get("getListOfStores.php"))["Stores"].size(), 2U);
}

TEST_F(RequestHandlerTest, PeopleCorrectTheirOwnRecordsAndAreToldWhyNotOthers) {
  addDeliWithMilk();  // the store is Ann's, the deal Bo's
  const std::string annWants =
      add("addInterested.php", R"(interested={"itemId":"1","name":"Ann","qty":"2"})");
  const std::string annBought = add("addBuy.php", R"(buy={"itemId":"1","name":"Ann","qty":"1"})");
  const auto interested = replyOf(get("getInterested.php", "item_id=1"))["Interested"];
  ASSERT_EQ(interested.size(), 1U);
  EXPECT_EQ(interested[0]["id"], annWants) << "records carry their ids";

  const auto changed = post("updateInterested.php",
                            R"(interested={"id":")" + annWants + R"(","name":"Ann","qty":"5"})");
  EXPECT_EQ(changed.status, 200);
  EXPECT_EQ(replyOf(changed), json::parse(R"({"status":"ok","id":")" + annWants + R"("})"));
  const auto notHers =
      post("updateBuy.php", R"(buy={"id":")" + annBought + R"(","name":"Cy","qty":"5"})");
  EXPECT_EQ(notHers.status, 403);
  EXPECT_EQ(replyOf(notHers)["error"],
            "This purchase is someone else's: only they can change or remove it.");
  EXPECT_EQ(post("removeBuy.php", R"(buy={"id":")" + annBought + R"(","name":"Ann"})").status, 200);
  auto deal = replyOf(get("getItemById.php", "item_id=1"))["Items"][0];
  EXPECT_EQ(deal["interested"], "5");
  EXPECT_EQ(deal["bought"], "0");

  const auto othersIn = post("removeItem.php", R"(item={"itemId":"1","name":"Bo"})");
  EXPECT_EQ(othersIn.status, 409);
  EXPECT_EQ(replyOf(othersIn)["error"],
            "This deal cannot be removed: others have said they want it or have bought it.");
  const auto withDeals = post("removeStore.php", R"(store={"storeId":"1","name":"Ann"})");
  EXPECT_EQ(withDeals.status, 409);
  EXPECT_EQ(replyOf(withDeals)["error"], "This store cannot be removed while it has deals.");
  EXPECT_EQ(post("removeInterested.php", R"(interested={"id":")" + annWants + R"(","name":"Ann"})")
                .status,
            200);
  EXPECT_EQ(post("removeItem.php", R"(item={"itemId":"1","name":"Ann"})").status, 403);
  EXPECT_EQ(post("removeItem.php", R"(item={"itemId":"1","name":"Bo"})").status, 200);
  EXPECT_EQ(get("getItemById.php", "item_id=1").status, 404);
  EXPECT_EQ(replyOf(get("getListOfItems.php", "store_id=1"))["Items"].size(), 0U);
  EXPECT_EQ(replyOf(post("searchItem.php", R"(search={"query":"milk"})"))["Results"].size(), 0U);
  EXPECT_EQ(post("removeStore.php", R"(store={"storeId":"1","name":"Ann"})").status, 200);
  EXPECT_EQ(replyOf(get("getListOfStores.php"))["Stores"].size(), 0U);

  // With a user list, a correction names the person signed in, or nobody.
  const std::string store = add("addStore.php", R"(store={"name":"Cafe","created":"Bo"})");
  const std::string tea =
      add("addItem.php", R"(item={"storeId":")" + store +
                             R"(","name":"Tea","description":"","price":"1","posted":"Bo"})");
  const std::string bosWish =
      add("addInterested.php", R"(interested={"itemId":")" + tea + R"(","name":"Bo","qty":"1"})");
  const std::string withdraw = R"(interested={"id":")" + bosWish + R"(","name":"Bo"})";
  const auto posing =
      handler_->handle({"POST", "/kelvane/qx/removeInterested.php", withdraw, "", "ann"});
  EXPECT_EQ(posing.status, 403);
  EXPECT_EQ(replyOf(posing)["error"],
            "You are signed in as ann: you can only change or remove what is under that name.");
  EXPECT_EQ(handler_
                ->handle({"POST", "/kelvane/qx/removeItem.php",
                          R"(item={"itemId":")" + tea + R"(","name":"Bo"})", "", "ann"})
                .status,
            403);
  EXPECT_EQ(
      handler_->handle({"POST", "/kelvane/qx/removeInterested.php", withdraw, "", "Bo"}).status,
      200);
  // Additions too name the person signed in, at every write that names anyone.
  for (const auto& [endpoint, body] : std::vector<std::pair<std::string, std::string>>{
           {"addStore.php", R"(store={"name":"Deli","created":"Bo"})"},
           {"addItem.php", R"(item={"storeId":")" + store +
                               R"(","name":"Tea","description":"","price":"1","posted":"Bo"})"},
           {"addInterested.php", R"(interested={"itemId":")" + tea + R"(","name":"Bo","qty":"1"})"},
           {"addBuy.php", R"(buy={"itemId":")" + tea + R"(","name":"Bo","qty":"1"})"}}) {
    const auto added = handler_->handle({"POST", "/kelvane/qx/" + endpoint, body, "", "ann"});
    EXPECT_EQ(added.status, 403) << endpoint;
    EXPECT_EQ(replyOf(added)["error"],
              "You are signed in as ann: what you add is recorded under that name, so register "
              "in the app as ann.");
    EXPECT_EQ(handler_->handle({"POST", "/kelvane/qx/" + endpoint, body, "", "Bo"}).status, 200)
        << endpoint;
  }
  EXPECT_EQ(replyOf(get("getInterested.php", "item_id=" + tea))["Interested"].size(), 1U)
      << "nothing was added under someone else's name";
}

TEST_F(RequestHandlerTest, APriceWithADecimalCommaIsStoredWithAPoint) {
  add("addStore.php", R"(store={"name":"Deli","created":"Ann"})");
  add("addItem.php",
      R"(item={"storeId":"1","name":"Tea","description":"","price":"1,20","posted":"Bo"})");
  EXPECT_EQ(replyOf(get("getItemById.php", "item_id=1"))["Items"][0]["price"], "1.20");
  add("editItem.php", R"(item={"itemId":"1","name":"Tea","description":"","price":",5"})");
  EXPECT_EQ(replyOf(get("getItemById.php", "item_id=1"))["Items"][0]["price"], ".5");
}

TEST_F(RequestHandlerTest, ADatabaseFromANewerServerIsRefused) {
  handler_.reset();
  storage_.reset();
  {
    vantory::service::SqliteConnection db(database(), false);
    db.exec("PRAGMA user_version=99");
  }
  try {
    vantory::service::SqliteStorage newer(database());
    FAIL() << "a newer schema was accepted";
  } catch (const vantory::service::SqliteStorage::SchemaTooNew& error) {
    EXPECT_NE(std::string(error.what()).find("newer vantory-server"), std::string::npos);
  }
}

}  // namespace
