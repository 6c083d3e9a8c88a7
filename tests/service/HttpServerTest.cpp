#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <set>
#include <thread>

#include "HttpClient.h"
#include "ServiceFixture.h"
#include "http/HttpServer.h"
#include "support/HostileInputs.h"

using namespace vantory::service;
using nlohmann::json;
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

TEST_F(HttpServerTest, OneConnectionServesSeveralRequestsAndAsksForBodiesWhenTold) {
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

  // A client that waits to be told before sending its body is told at once,
  // unless the body it announces is too large to be taken.
  const std::string body = R"(store={"name":"Told","created":"Ann"})";
  ASSERT_TRUE(
      client.sendRaw("POST /kelvane/qx/addStore.php HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                     "Expect: 100-continue\r\nContent-Length: " +
                     std::to_string(body.size()) + "\r\n\r\n"));
  auto proceed = client.readResponse(std::chrono::seconds(2));
  ASSERT_TRUE(proceed);
  EXPECT_EQ(proceed->status, 100);
  ASSERT_TRUE(client.sendRaw(body));
  auto told = client.readResponse();
  ASSERT_TRUE(told);
  EXPECT_EQ(told->status, 200);
  EXPECT_EQ(told->body, R"({"id":"2","status":"ok"})");
  ASSERT_TRUE(
      client.sendRaw("POST /kelvane/qx/addStore.php HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                     "Expect: 100-continue\r\nContent-Length: 1000000\r\n\r\n"));
  auto tooLarge = client.readResponse(std::chrono::seconds(2));
  ASSERT_TRUE(tooLarge);
  EXPECT_EQ(tooLarge->status, 413);
}

// Everything the service holds, as its replies show it.
std::string everything(int port) {
  HttpClient client(port);
  std::string all;
  for (const char* target :
       {"/kelvane/qx/getListOfStores.php?", "/kelvane/qx/getListOfItems.php?store_id=1",
        "/kelvane/qx/getInterested.php?item_id=1", "/kelvane/qx/getBought.php?item_id=1"}) {
    const auto reply = client.request("GET", target);
    all += reply ? reply->body : "(no reply)";
  }
  return all;
}

TEST_F(HttpServerTest, HostileRequestsGetAJsonRefusalStoreNothingAndTheServerGoesOn) {
  addDeliWithMilk();
  const std::string before = everything(port_);
  for (const auto& [name, method, target, body] : testsupport::HostileInputs::refusedRequests()) {
    HttpClient client(port_);
    const auto reply = client.request(method, target, body);
    ASSERT_TRUE(reply) << name << ": no reply";
    EXPECT_GE(reply->status, 400) << name;
    EXPECT_LT(reply->status, 500) << name << ": " << reply->body;
    const json parsed = json::parse(reply->body, nullptr, false);
    ASSERT_TRUE(parsed.is_object() && parsed.contains("error")) << name << ": " << reply->body;
    EXPECT_TRUE(parsed["error"].is_string()) << name;
  }
  EXPECT_EQ(everything(port_), before) << "nothing was stored or changed";
}

TEST_F(HttpServerTest, BodiesAndHeadersOverTheLimitsGet413And431AndNothingIsStored) {
  HttpClient client(port_);
  const std::string body =
      R"(store={"name":")" + std::string(70 * 1024, 'a') + R"(","created":"Ann"})";
  auto response = client.request("POST", "/kelvane/qx/addStore.php", body);
  ASSERT_TRUE(response);
  EXPECT_EQ(response->status, 413);
  EXPECT_NE(response->body.find("64 KiB"), std::string::npos);
  HttpClient other(port_);
  response =
      other.request("POST", "/kelvane/qx/addStore.php", R"(store={"name":"A","created":"B"})",
                    "X-Padding: " + std::string(9 * 1024, 'p') + "\r\n");
  ASSERT_TRUE(response);
  EXPECT_EQ(response->status, 431);
  EXPECT_TRUE(json::parse(response->body).contains("error"));
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

TEST_F(HttpServerTest, WritesFromManyClientsAtOnceAreEachAcknowledgedOnceAndReadBackAtOnce) {
  addDeliWithMilk();
  constexpr int kClients = 8;
  constexpr int kEach = 50;
  std::atomic<bool> writing{true};
  std::atomic<int> stale{0};
  // Readers keep the item list busy (and kept) all along.
  std::vector<std::thread> readers;
  for (int r = 0; r < 3; ++r) {
    readers.emplace_back([&] {
      HttpClient client(port_);
      while (writing) {
        client.request("GET", "/kelvane/qx/getListOfItems.php?store_id=1");
      }
    });
  }
  std::mutex idsMutex;
  std::set<std::string> ids;
  std::vector<std::thread> writers;
  for (int c = 0; c < kClients; ++c) {
    writers.emplace_back([&, c] {
      HttpClient client(port_);
      for (int i = 0; i < kEach; ++i) {
        const auto reply = client.request(
            "POST", "/kelvane/qx/addInterested.php",
            R"(interested={"itemId":"1","name":"C)" + std::to_string(c) + R"(","qty":"1"})");
        ASSERT_TRUE(reply && reply->status == 200);
        {
          std::lock_guard lock(idsMutex);
          ids.insert(json::parse(reply->body)["id"].get<std::string>());
        }
        // What this client has been told is stored, it reads back at once.
        const auto list = client.request("GET", "/kelvane/qx/getInterested.php?item_id=1");
        std::size_t mine = 0;
        const json interested = json::parse(list->body)["Interested"];
        for (const auto& entry : interested) {
          mine += entry["name"] == "C" + std::to_string(c) ? 1 : 0;
        }
        stale += mine == static_cast<std::size_t>(i + 1) ? 0 : 1;
      }
    });
  }
  for (auto& writer : writers) {
    writer.join();
  }
  writing = false;
  for (auto& reader : readers) {
    reader.join();
  }
  EXPECT_EQ(stale, 0) << "a write was not read back right after its acknowledgement";
  EXPECT_EQ(ids.size(), static_cast<std::size_t>(kClients * kEach)) << "each once, none twice";
  const auto item = replyOf(get("getListOfItems.php", "store_id=1"))["Items"][0];
  EXPECT_EQ(item["interested"], std::to_string(kClients * kEach));
  EXPECT_EQ(replyOf(get("getInterested.php", "item_id=1"))["Interested"].size(),
            static_cast<std::size_t>(kClients * kEach));
}

}  // namespace
