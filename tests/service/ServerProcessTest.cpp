// vantory-server as operators run it: a process with its options, its log,
// its limits and its database file.

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <mutex>
#include <regex>
#include <thread>

#include <nlohmann/json.hpp>

#include "HttpClient.h"
#include "support/PostgresCluster.h"
#include "support/ServerProcess.h"

using nlohmann::json;
using testsupport::HttpClient;
using testsupport::ServerProcess;

namespace {

// A folder of its own for each test, removed afterwards.
class ServerProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    directory_ = std::filesystem::temp_directory_path() /
                 ("vantory-" + std::string(test->name()) + "-" + std::to_string(::getpid()));
    std::filesystem::remove_all(directory_);
    std::filesystem::create_directories(directory_);
  }
  void TearDown() override { std::filesystem::remove_all(directory_); }

  std::filesystem::path database() const { return directory_ / "vantory.db"; }

  std::filesystem::path directory_;
};

std::string storeNames(int port) {
  HttpClient client(port);
  const auto reply = client.request("GET", "/kelvane/qx/getListOfStores.php?");
  if (!reply) {
    return "(no reply)";
  }
  std::string names;
  const json stores = json::parse(reply->body)["Stores"];
  for (const auto& store : stores) {
    names += store["name"].get<std::string>() + ";";
  }
  return names;
}

int addStore(int port, const std::string& name) {
  HttpClient client(port);
  const auto reply = client.request("POST", "/kelvane/qx/addStore.php",
                                    R"(store={"name":")" + name + R"(","created":"Ann"})");
  return reply ? reply->status : 0;
}

TEST_F(ServerProcessTest, EveryAcknowledgedWriteSurvivesAKillInTheMiddleOfBatches) {
  std::mutex acknowledgedMutex;
  std::vector<std::string> acknowledged;
  {
    ServerProcess server(database(), {"--threads", "16"});
    ASSERT_TRUE(server.start()) << server.log();
    std::atomic<bool> running{true};
    std::vector<std::thread> clients;
    for (int c = 0; c < 8; ++c) {
      clients.emplace_back([&, c] {
        for (int i = 0; running; ++i) {
          const std::string name = "C" + std::to_string(c) + "-" + std::to_string(i);
          if (addStore(server.port(), name) == 200) {
            std::lock_guard lock(acknowledgedMutex);
            acknowledged.push_back(name);
          }
        }
      });
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    server.kill();  // while writes are being gathered and committed
    running = false;
    for (auto& client : clients) {
      client.join();
    }
  }
  ASSERT_GT(acknowledged.size(), 20U);
  ServerProcess restarted(database());
  ASSERT_TRUE(restarted.start());
  const std::string names = ";" + storeNames(restarted.port());
  for (const std::string& name : acknowledged) {
    EXPECT_NE(names.find(";" + name + ";"), std::string::npos) << name << " was acknowledged";
  }
  EXPECT_EQ(restarted.stop(), 0) << "SIGTERM ends the server cleanly";
}

TEST_F(ServerProcessTest, HelpListsEveryOption) {
  const std::string command = testsupport::serverBinary().string() + " --help";
  FILE* pipe = ::popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string output;
  char buffer[512];
  while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
    output += buffer;
  }
  EXPECT_EQ(::pclose(pipe), 0);
  for (const char* option :
       {"--listen", "--database", "--threads", "--log-level", "--log-format", "--sync", "--timeout",
        "--max-connections", "--max-connections-per-client"}) {
    EXPECT_NE(output.find(option), std::string::npos) << option;
  }
}

TEST_F(ServerProcessTest, TheAccessLogSaysWhatOperatorsReadInTextAndJson) {
  ServerProcess text(database());
  text.setListenHost("localhost");  // a host name, not only an address
  text.setLogLevel("info");
  ASSERT_TRUE(text.start()) << text.log();
  HttpClient client(text.port());
  ASSERT_TRUE(client.request("GET", "/kelvane/qx/getListOfItems.php?store_id=abc"));
  ASSERT_TRUE(client.request("GET", "/kelvane/qx/getListOfStores.php?"));
  ASSERT_TRUE(client.request("GET", "/kelvane/qx/getItemById.php?item_id=\xc3\xa9\"x"));
  text.stop();
  const std::string log = text.log();
  const std::string time = R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z)";
  EXPECT_TRUE(std::regex_search(
      log, std::regex("(^|\n)" + time +
                      R"( 127\.0\.0\.1 GET /kelvane/qx/getListOfItems\.php\?store_id=abc 400 \d+B )"
                      R"(\d+us reason="The store_id must be made of digits, such as 12\."\n)")))
      << log;
  EXPECT_TRUE(std::regex_search(
      log,
      std::regex(time + R"( 127\.0\.0\.1 GET /kelvane/qx/getListOfStores\.php\? 200 13B \d+us\n)")))
      << log;
  EXPECT_NE(log.find("item_id=\\xc3\\xa9\\x22x 400"), std::string::npos)
      << "what a client sends is escaped, so it cannot forge a field: " << log;

  ServerProcess structured(database(), {"--log-format", "json"});
  structured.setLogLevel("info");
  ASSERT_TRUE(structured.start());
  HttpClient other(structured.port());
  ASSERT_TRUE(other.request("POST", "/kelvane/qx/addStore.php", "store={}"));
  structured.stop();
  std::istringstream lines(structured.log());
  std::string line;
  int requests = 0;
  while (std::getline(lines, line)) {
    const json entry = json::parse(line, nullptr, false);
    ASSERT_TRUE(entry.is_object()) << line;
    EXPECT_TRUE(entry.contains("time")) << line;
    if (entry.contains("status")) {
      ++requests;
      EXPECT_EQ(entry["client"], "127.0.0.1");
      EXPECT_EQ(entry["method"], "POST");
      EXPECT_EQ(entry["target"], "/kelvane/qx/addStore.php");
      EXPECT_EQ(entry["status"], 400);
      EXPECT_GT(entry["bytes"].get<int>(), 10);
      EXPECT_TRUE(entry["duration_us"].is_number());
      EXPECT_EQ(entry["reason"], "The record needs \"name\" as a text value.");
    }
  }
  EXPECT_EQ(requests, 1);
}

TEST_F(ServerProcessTest, TwoServersOnOneFileEachServeTheOthersStores) {
  ServerProcess first(database());
  ServerProcess second(database());
  ASSERT_TRUE(first.start());
  ASSERT_TRUE(second.start());
  for (int round = 0; round < 3; ++round) {
    EXPECT_EQ(storeNames(first.port()), storeNames(second.port()));  // both cache their lists
    ASSERT_EQ(addStore(round % 2 == 0 ? second.port() : first.port(), "S" + std::to_string(round)),
              200);
  }
  EXPECT_EQ(storeNames(first.port()), "S0;S1;S2;");
  EXPECT_EQ(storeNames(second.port()), "S0;S1;S2;");
}

TEST_F(ServerProcessTest, OutOfDescriptorsTheServerWaitsInsteadOfSpinningAndThenGoesOn) {
  ServerProcess server(database(), {"--max-connections", "1000", "--threads", "2"});
  server.setDescriptorLimit(48);
  ASSERT_TRUE(server.start()) << server.log();
  std::vector<std::unique_ptr<HttpClient>> clients;
  for (int i = 0; i < 60; ++i) {
    clients.push_back(std::make_unique<HttpClient>(server.port()));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const auto before = server.cpuTime();
  std::this_thread::sleep_for(std::chrono::seconds(2));
  const auto used = server.cpuTime() - before;
  EXPECT_LT(used, std::chrono::milliseconds(400)) << "two seconds out of descriptors";
  EXPECT_NE(server.log().find("cannot accept connections for now"), std::string::npos)
      << server.log();

  clients.clear();
  bool served = false;
  for (int attempt = 0; attempt < 50 && !served; ++attempt) {
    HttpClient again(server.port());
    const auto reply = again.request("GET", "/kelvane/qx/getListOfStores.php?");
    served = reply && reply->status == 200;
    if (!served) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  }
  EXPECT_TRUE(served) << "the service resumes once connections close";
}

TEST_F(ServerProcessTest, ConnectionCapsTurnAwayCleanlyWhileOthersAreServed) {
  ServerProcess server(database(), {"--max-connections", "4", "--max-connections-per-client", "2"});
  ASSERT_TRUE(server.start());
  const auto served = [&server](HttpClient& client) {
    const auto reply = client.request("GET", "/kelvane/qx/getListOfStores.php?");
    return reply ? reply->status : 0;
  };
  HttpClient a1(server.port(), "127.0.0.1");
  HttpClient a2(server.port(), "127.0.0.1");
  ASSERT_EQ(served(a1), 200);
  ASSERT_EQ(served(a2), 200);

  HttpClient a3(server.port(), "127.0.0.1");
  const auto refused = a3.readResponse(std::chrono::seconds(5));
  ASSERT_TRUE(refused) << "a client over its cap is told, not left hanging";
  EXPECT_EQ(refused->status, 429);
  EXPECT_TRUE(json::parse(refused->body).contains("error"));
  EXPECT_TRUE(a3.closedByPeer(std::chrono::seconds(2)));

  HttpClient b(server.port(), "127.0.0.2");
  HttpClient c(server.port(), "127.0.0.3");
  EXPECT_EQ(served(b), 200) << "other clients are served meanwhile";
  EXPECT_EQ(served(c), 200);
  HttpClient d(server.port(), "127.0.0.4");
  const auto full = d.readResponse(std::chrono::seconds(5));
  ASSERT_TRUE(full);
  EXPECT_EQ(full->status, 503);
  EXPECT_TRUE(json::parse(full->body).contains("error"));
  EXPECT_EQ(served(a1), 200) << "those already in are still served";
}

TEST_F(ServerProcessTest, FullStorageIsExplainedAndNothingIsHalfStored) {
  if (::geteuid() != 0 || ::mount("tmpfs", directory_.c_str(), "tmpfs", 0, "size=256k") != 0) {
    GTEST_SKIP() << "mounting a small tmpfs needs root and a mount namespace that allows it";
  }
  {
    ServerProcess server(database());
    ASSERT_TRUE(server.start()) << server.log();
    ASSERT_EQ(addStore(server.port(), "Deli"), 200);
    HttpClient client(server.port());
    ASSERT_EQ(client
                  .request("POST", "/kelvane/qx/addItem.php",
                           R"(item={"storeId":"1","name":"Milk","description":"","price":"1",)"
                           R"("posted":"Bo"})")
                  ->status,
              200);
    std::optional<HttpClient::Response> failed;
    const std::string longName(190, 'n');
    for (int i = 0; i < 5000 && !failed; ++i) {
      auto reply =
          client.request("POST", "/kelvane/qx/addInterested.php",
                         R"(interested={"itemId":"1","name":")" + longName + R"(","qty":"2"})");
      ASSERT_TRUE(reply);
      if (reply->status != 200) {
        failed = reply;
      }
    }
    ASSERT_TRUE(failed) << "the storage never filled up";
    EXPECT_EQ(failed->status, 500);
    EXPECT_EQ(json::parse(failed->body)["error"],
              "The service's storage is full, so nothing was stored.");
    const std::string log = server.log();
    EXPECT_NE(log.find("database or disk is full"), std::string::npos) << log;
    EXPECT_NE(log.find("SQLite code 13"), std::string::npos) << log;
    EXPECT_EQ(log.find("\"name\":\"nnn"), std::string::npos) << "no request text in the cause";

    // The counter still equals its records: the failed add left neither.
    const auto item = client.request("GET", "/kelvane/qx/getItemById.php?item_id=1");
    const auto interests = client.request("GET", "/kelvane/qx/getInterested.php?item_id=1");
    ASSERT_TRUE(item && interests);
    ASSERT_EQ(item->status, 200);
    const auto count = json::parse(interests->body)["Interested"].size();
    EXPECT_EQ(json::parse(item->body)["Items"][0]["interested"], std::to_string(2 * count));
  }
  ::umount2(directory_.c_str(), MNT_DETACH);
}

TEST_F(ServerProcessTest, AFileThatIsNotAHealthyDatabaseIsRefusedAtStartByName) {
  // Not a database at all.
  const auto foreign = directory_ / "notes.db";
  std::ofstream(foreign) << std::string(8192, 'x');
  ServerProcess wrongFile(foreign);
  EXPECT_FALSE(wrongFile.start());
  EXPECT_EQ(wrongFile.exitStatus(), 1);
  EXPECT_NE(wrongFile.log().find(foreign.string()), std::string::npos) << wrongFile.log();
  EXPECT_NE(wrongFile.log().find("file is not a database"), std::string::npos) << wrongFile.log();

  // A database damaged inside: the first page of the stores overwritten.
  {
    ServerProcess server(database());
    ASSERT_TRUE(server.start());
    for (int i = 0; i < 40; ++i) {
      ASSERT_EQ(addStore(server.port(), "Store " + std::to_string(i) + std::string(100, 's')), 200);
    }
    ASSERT_EQ(server.stop(), 0);
  }
  {
    std::fstream file(database(), std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(4096);
    file << std::string(4096, '\xA5');
  }
  ServerProcess damaged(database());
  EXPECT_FALSE(damaged.start());
  EXPECT_EQ(damaged.exitStatus(), 1);
  EXPECT_NE(damaged.log().find(database().string()), std::string::npos) << damaged.log();
  EXPECT_NE(damaged.log().find("damaged"), std::string::npos) << damaged.log();

  // A place where no file can be made.
  ServerProcess nowhere(directory_ / "missing" / "folder" / "vantory.db");
  EXPECT_FALSE(nowhere.start());
  EXPECT_NE(nowhere.log().find("missing/folder/vantory.db"), std::string::npos) << nowhere.log();
}

// Several servers on one PostgreSQL database, as behind a load balancer.
class PostgresServersTest : public ServerProcessTest {
 protected:
  void SetUp() override {
    ServerProcessTest::SetUp();
    cluster_ = std::make_unique<testsupport::PostgresCluster>();
    if (cluster_->unavailable()) {
      GTEST_SKIP() << *cluster_->unavailable();
    }
  }
  void TearDown() override {
    cluster_.reset();
    ServerProcessTest::TearDown();
  }
  std::unique_ptr<ServerProcess> server() {
    auto process = std::make_unique<ServerProcess>(
        cluster_->url(), std::vector<std::string>{"--database-wait", "2", "--threads", "4"});
    return process;
  }

  std::unique_ptr<testsupport::PostgresCluster> cluster_;
};

TEST_F(PostgresServersTest, TwoServersAreOneServiceWithExactCounters) {
  auto first = server();
  auto second = server();
  ASSERT_TRUE(first->start()) << first->log();
  ASSERT_TRUE(second->start()) << second->log();
  for (int round = 0; round < 3; ++round) {
    EXPECT_EQ(storeNames(first->port()), storeNames(second->port()));  // both cache their lists
    ASSERT_EQ(addStore((round % 2 == 0 ? second : first)->port(), "S" + std::to_string(round)),
              200);
    EXPECT_EQ(storeNames(round % 2 == 0 ? first->port() : second->port()), round == 0 ? "S0;"
                                                                           : round == 1
                                                                               ? "S0;S1;"
                                                                               : "S0;S1;S2;")
        << "the very next list of the other server";
  }
  HttpClient setup(first->port());
  ASSERT_EQ(setup
                .request("POST", "/kelvane/qx/addItem.php",
                         R"(item={"storeId":"1","name":"Milk","description":"","price":"1",)"
                         R"("posted":"Bo"})")
                ->status,
            200);

  // 8 clients, 100 interests each, spread over both servers at once.
  std::vector<std::thread> clients;
  std::atomic<int> failures{0};
  for (int c = 0; c < 8; ++c) {
    clients.emplace_back([&, c] {
      HttpClient client((c % 2 == 0 ? first : second)->port());
      for (int i = 0; i < 100; ++i) {
        const auto reply = client.request(
            "POST", "/kelvane/qx/addInterested.php",
            R"(interested={"itemId":"1","name":"C","qty":")" + std::to_string(c % 3 + 1) + "\"}");
        failures += reply && reply->status == 200 ? 0 : 1;
      }
    });
  }
  for (auto& client : clients) {
    client.join();
  }
  EXPECT_EQ(failures, 0);
  HttpClient check(second->port());
  const json item =
      json::parse(check.request("GET", "/kelvane/qx/getItemById.php?item_id=1")->body)["Items"][0];
  EXPECT_EQ(item["interested"], std::to_string(100 * (1 + 2 + 3 + 1 + 2 + 3 + 1 + 2)));
  EXPECT_EQ(json::parse(
                check.request("GET", "/kelvane/qx/getInterested.php?item_id=1")->body)["Interested"]
                .size(),
            800U);
}

TEST_F(PostgresServersTest, WhileTheDatabaseIsDownRequestsGet503AndAcknowledgedWritesStay) {
  auto service = server();
  ASSERT_TRUE(service->start()) << service->log();
  std::atomic<bool> running{true};
  std::atomic<int> acknowledged{0};
  std::atomic<int> unavailable{0};
  std::atomic<int> otherwise{0};
  std::thread writer([&] {
    for (int i = 0; running; ++i) {
      HttpClient client(service->port());
      const auto reply =
          client.request("POST", "/kelvane/qx/addStore.php",
                         R"(store={"name":"W)" + std::to_string(i) + R"(","created":"Ann"})");
      if (!reply) {
        ++otherwise;
        ADD_FAILURE() << "no reply";
      } else if (reply->status == 200) {
        ++acknowledged;
      } else if (reply->status == 503 && json::parse(reply->body).contains("error")) {
        ++unavailable;
      } else {
        ++otherwise;
        ADD_FAILURE() << reply->status << " " << reply->body;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  ASSERT_TRUE(cluster_->stop());
  std::this_thread::sleep_for(std::chrono::milliseconds(800));
  const int duringOutage = unavailable;
  ASSERT_TRUE(cluster_->start());
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  running = false;
  writer.join();
  EXPECT_GT(duringOutage, 0) << "503 while the database was down";
  EXPECT_EQ(otherwise, 0) << "nothing but 200 and 503 with JSON";
  const int before = acknowledged;
  EXPECT_GT(before, 0);
  // Every acknowledged store is there; the service came back by itself.
  const std::string names = storeNames(service->port());
  EXPECT_EQ(static_cast<int>(std::count(names.begin(), names.end(), ';')), before) << names;
  EXPECT_NE(service->log().find("failed with 503"), std::string::npos) << service->log();
}

}  // namespace
