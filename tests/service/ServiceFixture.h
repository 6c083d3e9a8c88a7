#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <memory>

#include "api/RequestHandler.h"
#include "storage/SqliteStorage.h"

namespace testsupport {

// A fresh database file and the request handler over it.
class ServiceFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    static int counter = 0;
    directory_ =
        std::filesystem::temp_directory_path() /
        ("vantory-service-" + std::to_string(::getpid()) + "-" + std::to_string(++counter));
    std::filesystem::remove_all(directory_);
    std::filesystem::create_directories(directory_);
    storage_ = std::make_unique<vantory::service::SqliteStorage>(database());
    handler_ = std::make_unique<vantory::service::RequestHandler>(*storage_);
  }
  void TearDown() override {
    handler_.reset();
    storage_.reset();
    std::filesystem::remove_all(directory_);
  }

  std::filesystem::path database() const { return directory_ / "vantory.db"; }

  vantory::service::ApiReply get(const std::string& endpoint, const std::string& query = "") {
    return handler_->handle({"GET", "/kelvane/qx/" + endpoint + "?" + query, ""});
  }
  vantory::service::ApiReply post(const std::string& endpoint, const std::string& body) {
    return handler_->handle({"POST", "/kelvane/qx/" + endpoint, body});
  }
  // Posts and expects success; gives the new record's id.
  std::string add(const std::string& endpoint, const std::string& body) {
    const auto reply = post(endpoint, body);
    EXPECT_EQ(reply.status, 200) << reply.serializedBody();
    return reply.body.value("id", "");
  }
  // Store 1, "Deli", with deal 1, "Milk": what most cases start from.
  void addDeliWithMilk() {
    add("addStore.php", R"(store={"name":"Deli","created":"Ann"})");
    add("addItem.php",
        R"(item={"storeId":"1","name":"Milk","description":"","price":"1","posted":"Bo"})");
  }
  nlohmann::json replyOf(const vantory::service::ApiReply& reply) {
    return nlohmann::json::parse(reply.serializedBody());
  }

  std::filesystem::path directory_;
  std::unique_ptr<vantory::service::SqliteStorage> storage_;
  std::unique_ptr<vantory::service::RequestHandler> handler_;
};

}  // namespace testsupport
