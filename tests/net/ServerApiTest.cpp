#include "net/ServerApi.h"

#include <gtest/gtest.h>

using vantory::CallType;
using vantory::ResponseType;
using vantory::ServerApi;

TEST(ServerApi, CallsCarryTheEndpointsKindAddressAndParameter) {
  ServerApi::setBaseAddress("http://shop.example:9000/");
  auto stores = ServerApi::makeCall(ServerApi::getListOfStores);
  EXPECT_EQ(stores->type(), CallType::GET);
  EXPECT_EQ(stores->reponseType(), ResponseType::JSON);
  EXPECT_EQ(stores->urlString(), "http://shop.example:9000/kelvane/qx/getListOfStores.php");
  EXPECT_EQ(ServerApi::parameterText(ServerApi::getListOfStores, "ignored"), "");

  EXPECT_EQ(ServerApi::makeCall(ServerApi::searchItem)->type(), CallType::POST);
  EXPECT_EQ(ServerApi::parameterText(ServerApi::getListOfItems, "12"), "store_id=12");
  EXPECT_EQ(ServerApi::parameterText(ServerApi::addBuy, R"({"a":"b&c=d"})"),
            R"(buy={"a":"b&c=d"})");
  EXPECT_EQ(ServerApi::parameterText(ServerApi::addInterested, "{}"), "interested={}");
  ServerApi::setBaseAddress(std::string(ServerApi::defaultBaseAddress));
}

TEST(ServerApi, RequestRecordsUseTheKeysTheServiceExpects) {
  EXPECT_EQ(ServerApi::newStoreRecord("Deli", "Ann Lee"),
            (nlohmann::json{{"name", "Deli"}, {"created", "Ann Lee"}}));
  EXPECT_EQ(ServerApi::newItemRecord("7", "Milk", "", "1.5", "Ann Lee"),
            (nlohmann::json{{"storeId", "7"},
                            {"name", "Milk"},
                            {"description", ""},
                            {"price", "1.5"},
                            {"posted", "Ann Lee"}}));
  EXPECT_EQ(
      ServerApi::itemEditRecord("3", "Milk", "2%", "abc"),
      (nlohmann::json{{"itemId", "3"}, {"name", "Milk"}, {"description", "2%"}, {"price", "abc"}}));
  EXPECT_EQ(ServerApi::purchaseRecord("3", "Ann Lee", "2"),
            (nlohmann::json{{"itemId", "3"}, {"name", "Ann Lee"}, {"qty", "2"}}));
  EXPECT_EQ(ServerApi::searchRecord("milk"), (nlohmann::json{{"query", "milk"}}));
}
