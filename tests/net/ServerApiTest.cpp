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
