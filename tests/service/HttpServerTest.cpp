#include <gtest/gtest.h>

#include <thread>

#include "HttpClient.h"
#include "ServiceFixture.h"
#include "http/HttpServer.h"
#include "support/ServerProcess.h"

using namespace vantory::service;
using testsupport::HttpClient;

namespace {

// The server in this process on a free port, with a short timeout.
class HttpServerTest : public testsupport::ServiceFixture {
 protected:
  void SetUp() override {
    ServiceFixture::SetUp();
    HttpServerOptions options;
    options.port = 0;
    options.threads = 4;
    options.timeout = std::chrono::milliseconds(700);
    server_ = std::make_unique<HttpServer>(*handler_, log_, options);
    port_ = server_->listen();
    thread_ = std::thread([this] { server_->run(); });
  }
  void TearDown() override {
    server_->stop();
    thread_.join();
    server_.reset();
    ServiceFixture::TearDown();
  }

  AccessLog log_{LogLevel::error};
  std::unique_ptr<HttpServer> server_;
  std::thread thread_;
  int port_ = 0;
};

TEST_F(HttpServerTest, OneConnectionServesSeveralRequests) {
  HttpClient client(port_);
  ASSERT_TRUE(client.connected());
  auto added = client.request("POST", "/kelvane/qx/addStore.php",
                              R"(store={"name":"Deli & Co","created":"Ann"})");
  ASSERT_TRUE(added);
  EXPECT_EQ(added->status, 200);
  EXPECT_NE(added->headers.find("Content-Type: application/json"), std::string::npos);
  for (int i = 0; i < 3; ++i) {
    auto stores = client.request("GET", "/kelvane/qx/getListOfStores.php?");
    ASSERT_TRUE(stores) << "request " << i << " on the same connection";
    EXPECT_EQ(nlohmann::json::parse(stores->body)["Stores"][0]["name"], "Deli & Co");
  }
  auto missing = client.request("GET", "/kelvane/qx/getItemById.php?item_id=3");
  ASSERT_TRUE(missing);
  EXPECT_EQ(missing->status, 404);
}

TEST_F(HttpServerTest, ABodyOverTheLimitGets413AndNothingIsStored) {
  HttpClient client(port_);
  const std::string body =
      R"(store={"name":")" + std::string(70 * 1024, 'a') + R"(","created":"Ann"})";
  auto response = client.request("POST", "/kelvane/qx/addStore.php", body);
  ASSERT_TRUE(response);
  EXPECT_EQ(response->status, 413);
  EXPECT_NE(response->body.find("64 KiB"), std::string::npos);
  EXPECT_EQ(get("getListOfStores.php").serializedBody(), R"({"Stores":[]})");
}

TEST_F(HttpServerTest, ASilentClientIsDroppedWhileOthersAreServed) {
  HttpClient slow(port_);
  ASSERT_TRUE(slow.sendRaw("GET /kelvane/qx/getListOfStores.php? HTTP/1.1\r\nHo"));
  HttpClient other(port_);
  auto served = other.request("GET", "/kelvane/qx/getListOfStores.php?");
  ASSERT_TRUE(served);
  EXPECT_EQ(served->status, 200);
  EXPECT_TRUE(slow.closedByPeer(std::chrono::seconds(3))) << "the half request is cut off";
}

TEST_F(HttpServerTest, ConcurrentInterestsAddUpExactly) {
  add("addStore.php", R"(store={"name":"Deli","created":"Ann"})");
  add("addItem.php",
      R"(item={"storeId":"1","name":"Milk","description":"","price":"1","posted":"Bo"})");
  constexpr int kClients = 8;
  constexpr int kEach = 200;
  std::vector<std::thread> clients;
  std::atomic<int> failures{0};
  for (int c = 0; c < kClients; ++c) {
    clients.emplace_back([&, c] {
      HttpClient client(port_);
      for (int i = 0; i < kEach; ++i) {
        const int qty = (c + i) % 3 + 1;
        auto response = client.request("POST", "/kelvane/qx/addInterested.php",
                                       R"(interested={"itemId":"1","name":"C)" + std::to_string(c) +
                                           R"(","qty":")" + std::to_string(qty) + "\"}");
        if (!response || response->status != 200) {
          ++failures;
        }
      }
    });
  }
  long long expected = 0;
  for (int c = 0; c < kClients; ++c) {
    for (int i = 0; i < kEach; ++i) {
      expected += (c + i) % 3 + 1;
    }
  }
  for (auto& client : clients) {
    client.join();
  }
  EXPECT_EQ(failures, 0);
  const auto item = replyOf(get("getItemById.php", "item_id=1"))["Items"][0];
  EXPECT_EQ(item["interested"], std::to_string(expected));
  EXPECT_EQ(replyOf(get("getInterested.php", "item_id=1"))["Interested"].size(),
            static_cast<std::size_t>(kClients * kEach));
}

TEST(ServerProcess, AnAcknowledgedWriteSurvivesAKillAndTheServerStopsCleanly) {
  const auto directory =
      std::filesystem::temp_directory_path() / ("vantory-durable-" + std::to_string(::getpid()));
  std::filesystem::remove_all(directory);
  std::filesystem::create_directories(directory);
  const auto database = directory / "shared.db";
  {
    testsupport::ServerProcess server(database);
    ASSERT_TRUE(server.start()) << server.readyLine();
    EXPECT_NE(server.readyLine().find(database.string()), std::string::npos);
    HttpClient client(server.port());
    auto added = client.request("POST", "/kelvane/qx/addStore.php",
                                R"(store={"name":"Kept","created":"Ann"})");
    ASSERT_TRUE(added);
    ASSERT_EQ(added->status, 200);
    server.kill();
  }
  testsupport::ServerProcess restarted(database);
  ASSERT_TRUE(restarted.start());
  HttpClient client(restarted.port());
  auto stores = client.request("GET", "/kelvane/qx/getListOfStores.php?");
  ASSERT_TRUE(stores);
  EXPECT_EQ(nlohmann::json::parse(stores->body)["Stores"][0]["name"], "Kept");
  EXPECT_EQ(restarted.stop(), 0) << "SIGTERM ends the server cleanly";
  std::filesystem::remove_all(directory);
}

TEST(ServerProcess, HelpListsEveryOption) {
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
       {"--listen", "--database", "--threads", "--log-level", "--sync", "--timeout"}) {
    EXPECT_NE(output.find(option), std::string::npos) << option;
  }
}

}  // namespace
